// A failure of the recording path the user must hear of, posted to the
// notice window from any thread; the trace line is the one the tests count.
#pragma once

#include "app/Messages.h"
#include "app/Trace.h"

#include <cwchar>
#include <new>

// detail (optional) goes along as the notice's text block.
inline void PostRecordingNotice(HWND window, WPARAM notice, const wchar_t* detail = nullptr)
{
    Trace(L"[CAudioCtrl] recording notice %d\n", static_cast<int>(notice));
    if (!window)
        return;
    wchar_t* block = detail ? new (std::nothrow) wchar_t[wcslen(detail) + 1] : nullptr;
    if (block)
        wcscpy(block, detail);
    if (!PostMessageW(window, WM_RECORDING_NOTICE, notice, reinterpret_cast<LPARAM>(block)))
        delete[] block;
}
