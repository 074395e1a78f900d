// A failure of the recording path the user must hear of, posted to the
// notice window from any thread; the trace line is the one the tests count.
#pragma once

#include "app/Messages.h"
#include "app/Trace.h"

inline void PostRecordingNotice(HWND window, WPARAM notice)
{
    Trace(L"[CAudioCtrl] recording notice %d\n", static_cast<int>(notice));
    if (window)
        PostMessageW(window, WM_RECORDING_NOTICE, notice, 0);
}
