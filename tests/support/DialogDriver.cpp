#include "support/DialogDriver.h"
#include "support/TestSupport.h"

#include <commctrl.h>
#include <cwchar>

std::vector<HWND> VisibleWindows(DWORD threadId, const std::function<bool(HWND)>& wanted)
{
    std::pair<const std::function<bool(HWND)>*, std::vector<HWND>> search(&wanted, {});
    EnumThreadWindows(threadId, [](HWND hwnd, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<std::pair<const std::function<bool(HWND)>*, std::vector<HWND>>*>(param);
        if (IsWindowVisible(hwnd) && (*s->first)(hwnd))
            s->second.push_back(hwnd);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

std::vector<HWND> VisibleWindows(DWORD threadId, const std::wstring& caption)
{
    return VisibleWindows(threadId, [&](HWND hwnd) { return WindowText(hwnd) == caption; });
}

HWND WaitForDialog(DWORD threadId, const std::wstring& caption, DWORD timeoutMs)
{
    std::vector<HWND> found;
    auto shown = [&] {
        found = VisibleWindows(threadId, caption);
        return !found.empty();
    };
    if (!WaitUntil(shown, timeoutMs))
        return nullptr;
    Sleep(150);  // let it finish painting
    return found[0];
}

HWND WaitForMenu(DWORD threadId, DWORD timeoutMs)
{
    std::vector<HWND> found;
    WaitUntil([&] {
        found = VisibleWindows(threadId, [](HWND hwnd) {
            wchar_t name[16] = L"";
            GetClassNameW(hwnd, name, 16);
            return wcscmp(name, L"#32768") == 0;  // the popup menu's class
        });
        return !found.empty();
    }, timeoutMs);
    return found.empty() ? nullptr : found[0];
}

std::wstring AnswerMessageBox(HWND owner, int button, DWORD timeoutMs, const wchar_t* screenshot)
{
    std::vector<HWND> boxes;
    auto shown = [&] {
        boxes = VisibleWindows(GetWindowThreadProcessId(owner, nullptr),
                               [&](HWND hwnd) { return GetWindow(hwnd, GW_OWNER) == owner; });
        return !boxes.empty();
    };
    if (!WaitUntil(shown, timeoutMs))
        return L"(no message box)";
    Sleep(100);
    std::wstring text = ControlText(boxes[0], 0xFFFF);  // the message box's text control
    if (screenshot)
        SaveScreenshot(boxes[0], screenshot);
    PostMessageW(boxes[0], WM_COMMAND, button, 0);
    WaitGone(boxes[0]);
    return text;
}

bool WaitGone(HWND hwnd, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(hwnd); }, timeoutMs);
}

void PumpMessages(DWORD ms, bool (*handled)(MSG*))
{
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < ms;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (handled && handled(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

std::wstring WindowText(HWND hwnd)
{
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    return text;
}

void Click(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// By messages: Wine answers GetWindowTextLength for another process's edit
// control from the window's stored caption, which an edit never sets.
std::wstring ControlText(HWND dialog, int id)
{
    LRESULT length = SendDlgItemMessageW(dialog, id, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<size_t>(GetDlgItemTextW(dialog, id, &text[0], static_cast<int>(text.size()))));
    return text;
}

void SetControlText(HWND dialog, int id, const std::wstring& text)
{
    SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

static std::wstring ComboText(HWND dialog, int id, LRESULT i)
{
    wchar_t text[600] = L"";
    if (i >= 0 && SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, i, 0) < 600)
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ComboChosen(HWND dialog, int id)
{
    return ComboText(dialog, id, SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
}

std::wstring ComboItems(HWND dialog, int id)
{
    std::wstring items;
    for (LRESULT i = 0; i < SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0); ++i)
        items += (i ? L"|" : L"") + ComboText(dialog, id, i);
    return items;
}

std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns)
{
    std::vector<std::vector<std::wstring>> rows(static_cast<size_t>(ListView_GetItemCount(list)));
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns; ++c) {
            wchar_t text[512] = L"";
            ListView_GetItemText(list, static_cast<int>(r), c, text, 512);
            rows[r].push_back(text);
        }
    return rows;
}

std::wstring ColumnHeader(HWND list, int column)
{
    wchar_t text[128] = L"";
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = text;
    col.cchTextMax = 128;
    ListView_GetColumn(list, column, &col);
    return text;
}

HWND Page(HWND sheet, int index)
{
    SendMessageW(sheet, PSM_SETCURSEL, index, 0);
    Sleep(150);
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

void SelectRow(HWND list, int row)
{
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

bool SaveScreenshot(HWND window, const std::wstring& name)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0)
        return false;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    // Wine puts what a thread painted on the screen only when that thread
    // next waits for messages: a window of this thread (the modeless
    // inquiry) showed without the control painted last. Pump a while.
    PumpMessages(300);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, old);
    DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    DWORD size = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::string bytes(reinterpret_cast<char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<char*>(bits), size);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::wstring folder = TestBinDir() + L"\\..\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    // The set taken at another scale (dialogs-dpi.sh) goes beside the 96 DPI one.
    UINT dpi = GetDpiForSystem();
    std::wstring scale = dpi == 96 ? L"" : L"-" + std::to_wstring(dpi) + L"dpi";
    return WriteBytes(folder + L"\\" + name + scale + L".bmp", bytes);
}
