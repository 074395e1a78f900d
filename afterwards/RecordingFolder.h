// Opens the folder the recordings go to in Explorer, from the tray menu and
// the program list.
#pragma once

#include <windows.h>

// Made first if it is missing; a folder that cannot be opened is told in a
// message box over owner.
void OpenRecordingFolder(HWND owner);
