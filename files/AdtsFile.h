// An ADTS AAC file: the station's frames as they come, each with its own
// header, so any whole frame may begin a file.
#pragma once

#include "files/StreamFile.h"

class CAdtsFile : public CStreamFile {};
