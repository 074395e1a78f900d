// The file-name prefix of one recording, before the audio thread adds the
// file number and ".wav".
#pragma once

#include "foundation/DateTime.h"

#include <cstddef>

// Folder, "\", title, "_" and the scheduled start as YYYYMMDDhhmm. In the
// title only, every character a file name cannot hold (\ / : * ? " < > |
// and control characters) becomes "_", so a title can neither fail the file
// nor reach outside the folder. An over-long title is shortened at a
// character boundary so that a numbered name fits one path component, the
// path limit and the block of count characters.
void BuildFilePrefix(wchar_t* block, size_t count, const wchar_t* folder, const wchar_t* title,
                     const CDateTime& start);
