#include "notices/NoticeLog.h"
#include "config/AppParameter.h"
#include "foundation/CodePage.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"

#include <new>

wchar_t CNoticeLog::s_Latest[256] = L"";

void CNoticeLog::PathFromSettings(wchar_t* path, int count)
{
    path[0] = L'\0';
    if (!g_pConfig)
        return;
    CString folder;
    if (g_pConfig->m_LogEnabled)
        g_pConfig->GetSetting(g_pConfig->m_LogPath, folder);
    const wchar_t* chosen = folder.GetWide();
    if (chosen && *chosen) {
        FormatText(path, count, L"%s\\marivane.log", chosen);
        return;
    }
    g_pConfig->FileBeside(L"marivane.log", path, count);
}

bool CNoticeLog::Append(const wchar_t* path, const CDateTime& when, const wchar_t* program, const wchar_t* text)
{
    if (!path || !*path)
        return false;
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (GetFileAttributesExW(path, GetFileExInfoStandard, &info) &&
        ((static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) >= kRotateBytes) {
        wchar_t old[MAX_PATH + 8];
        lstrcpynW(old, path, MAX_PATH);
        wchar_t* dot = wcsrchr(old, L'.');
        if (dot)
            lstrcpyW(dot, L"-old.log");
        MoveFileExW(path, old, MOVEFILE_REPLACE_EXISTING);
    }
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        Trace(L"CNoticeLog: %s cannot be written (%lu)\n", path, GetLastError());
        return false;
    }
    bool fresh = GetLastError() != ERROR_ALREADY_EXISTS;
    wchar_t stamp[CDateTime::kTextSize];
    when.Format(stamp);
    int length = lstrlenW(text) + lstrlenW(program ? program : L"") + CDateTime::kTextSize + 8;
    wchar_t* line = new (std::nothrow) wchar_t[length];
    bool ok = false;
    if (line) {
        FormatText(line, length, L"%s\t%s\t%s\r\n", stamp, program ? program : L"", text);
        int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
        char* utf8 = bytes > 0 ? new (std::nothrow) char[bytes + 3] : nullptr;
        if (utf8) {
            memcpy(utf8, "\xEF\xBB\xBF", 3);
            WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8 + 3, bytes, nullptr, nullptr);
            // The mark opens a new file only.
            const char* from = fresh ? utf8 : utf8 + 3;
            DWORD count = static_cast<DWORD>(bytes - 1 + (fresh ? 3 : 0)), written = 0;
            ok = WriteFile(file, from, count, &written, nullptr) && written == count;
            delete[] utf8;
        }
        delete[] line;
    }
    CloseHandle(file);
    return ok;
}
