#include "support/DialogDriver.h"
#include "support/TestSupport.h"

#include <commctrl.h>

namespace {

struct Search {
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK Match(HWND hwnd, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    wchar_t text[256] = L"";
    GetWindowTextW(hwnd, text, 256);
    if (IsWindowVisible(hwnd) && search->caption == text) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForDialog(DWORD threadId, const std::wstring& caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        Search search{caption, nullptr};
        EnumThreadWindows(threadId, Match, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            Sleep(150);  // let it finish painting
            return search.found;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

std::wstring AnswerMessageBox(HWND owner, int button, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        std::pair<HWND, HWND> search{owner, nullptr};
        EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<std::pair<HWND, HWND>*>(param);
            if (IsWindowVisible(hwnd) && GetWindow(hwnd, GW_OWNER) == s->first)
                s->second = hwnd;
            return !s->second;
        }, reinterpret_cast<LPARAM>(&search));
        if (HWND box = search.second) {
            Sleep(100);
            std::wstring text = MessageBoxText(box);
            PostMessageW(box, WM_COMMAND, button, 0);
            WaitGone(box);
            return text;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return L"(no message box)";
}

bool WaitGone(HWND hwnd, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(hwnd)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

void Click(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

std::wstring ControlText(HWND dialog, int id)
{
    wchar_t text[1024] = L"";
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

void SetControlText(HWND dialog, int id, const std::wstring& text)
{
    SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<std::vector<std::wstring>> ListRows(HWND list, int columns)
{
    // LVM_GETITEMTEXTW is not marshalled between processes: the item and its
    // buffer live in the list view's own process, which may be the program.
    std::vector<std::vector<std::wstring>> rows;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return rows;
    const SIZE_T chars = 512;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + chars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (remote) {
        auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int r = 0; r < count; ++r) {
            std::vector<std::wstring> row;
            for (int c = 0; c < columns; ++c) {
                LVITEMW item = {};
                item.iSubItem = c;
                item.pszText = remoteText;
                item.cchTextMax = static_cast<int>(chars);
                wchar_t text[chars] = L"";
                WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
                WriteProcessMemory(process, remoteText, text, sizeof(wchar_t), nullptr);
                SendMessageW(list, LVM_GETITEMTEXTW, r, reinterpret_cast<LPARAM>(remote));
                ReadProcessMemory(process, remoteText, text, sizeof text, nullptr);
                text[chars - 1] = 0;
                row.push_back(text);
            }
            rows.push_back(row);
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return rows;
}

std::wstring ColumnHeader(HWND list, int column)
{
    wchar_t text[128] = L"";
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = text;
    col.cchTextMax = 128;
    SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&col));
    return text;
}

void SelectRow(HWND list, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring MessageBoxText(HWND box)
{
    std::wstring text = ControlText(box, 0xFFFF);
    if (text.empty()) {
        // Any static control with text.
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t cls[32] = L"", t[512] = L"";
            GetClassNameW(child, cls, 32);
            GetWindowTextW(child, t, 512);
            if (lstrcmpiW(cls, L"Static") == 0 && t[0])
                return t;
        }
    }
    return text;
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
    for (DWORD begin = GetTickCount(); GetTickCount() - begin < 300;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
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
    return WriteBytes(folder + L"\\" + name + L".bmp", bytes);
}
