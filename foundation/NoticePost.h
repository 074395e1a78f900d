// A notice with its text, posted to the notice window from any thread: the
// text goes along as a heap block (new wchar_t[]) that the window frees.
#pragma once

#include "foundation/Messages.h"

#include <cstring>
#include <cwchar>
#include <new>

inline bool PostNoticeText(HWND window, WPARAM notice, const wchar_t* text)
{
    wchar_t* block = nullptr;
    if (text) {
        size_t length = wcslen(text) + 1;
        block = new (std::nothrow) wchar_t[length];
        if (block)
            memcpy(block, text, length * sizeof(wchar_t));
    }
    if (window && PostMessageW(window, WM_RECORDING_NOTICE, notice, reinterpret_cast<LPARAM>(block)))
        return true;
    delete[] block;
    return false;
}
