// A failure of the recording path the user must hear of, posted to the
// notice window from any thread; the trace line is the one the tests count.
#pragma once

#include "foundation/NoticePost.h"
#include "foundation/Trace.h"

// detail (optional) goes along as the notice's text block.
inline void PostRecordingNotice(HWND window, WPARAM notice, const wchar_t* detail = nullptr)
{
    Trace(L"[CAudioCtrl] recording notice %d\n", static_cast<int>(notice));
    PostNoticeText(window, notice, detail);
}
