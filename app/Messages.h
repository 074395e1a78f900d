// The application's own messages, all posted, never sent.
#pragma once

#include <windows.h>

enum : UINT {
    WM_TRAY_NOTIFY = 0x404,
    WM_CAPTURE_OPEN = 0x405,
    WM_CAPTURE_START = 0x406,
    WM_CAPTURE_CLOSE = 0x407,
    WM_SHUTDOWN_INQUIRY = 0x408,
    WM_CLOSE_INQUIRY = 0x409,
    WM_CAPTURE_RELEASE = 0x40A,
};

// Characters in the file-name prefix block carried by WM_CAPTURE_START.
constexpr int kFilePrefixSize = 520;
