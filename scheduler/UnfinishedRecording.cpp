#include "scheduler/UnfinishedRecording.h"
#include "config/AppParameter.h"
#include "foundation/CodePage.h"
#include "foundation/Decimal.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"
#include "programs/ProgramItem.h"

#include <cwchar>
#include <new>

namespace {

constexpr unsigned kMaxBytes = 4096;

// "h:mm:ss" of a count of seconds.
void Duration(long long seconds, wchar_t* text, int count)
{
    if (seconds < 0)
        seconds = 0;
    FormatText(text, count, L"%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

}  // namespace

bool CUnfinishedRecording::Path(wchar_t* path, int count)
{
    path[0] = L'\0';
    return g_pConfig && g_pConfig->FileBeside(L"marivane.recording", path, count);
}

void CUnfinishedRecording::Name(const ProgramItem& program)
{
    CString title;
    title.Copy(program.m_Title);
    lstrcpynW(m_Title, title.GetWide() ? title.GetWide() : L"", kTitleSize);
    m_Start = program.m_StartTime;
    m_Stop = program.m_StopTime;
}

bool CUnfinishedRecording::Write()
{
    wchar_t start[CDateTime::kTextSize], stop[CDateTime::kTextSize], seen[CDateTime::kTextSize];
    wchar_t text[kTitleSize + 200];
    int length = FormatText(text, kTitleSize + 200, L"title\t%s\r\nstart\t%s\r\nstop\t%s\r\nseen\t%s\r\nkept\t%lld\r\n",
                            m_Title, m_Start.Format(start), m_Stop.Format(stop), m_Seen.Format(seen), m_Kept);
    char* bytes = WideToMulti(text, length, CP_UTF8);
    wchar_t path[MAX_PATH];
    if (m_hFile == INVALID_HANDLE_VALUE && Path(path, MAX_PATH))
        m_hFile = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD size = bytes ? static_cast<DWORD>(strlen(bytes)) : 0, written = 0;
    LARGE_INTEGER zero = {};
    bool ok = bytes && m_hFile != INVALID_HANDLE_VALUE && SetFilePointerEx(m_hFile, zero, nullptr, FILE_BEGIN) &&
              WriteFile(m_hFile, bytes, size, &written, nullptr) && written == size && SetEndOfFile(m_hFile);
    delete[] bytes;
    // A power cut loses what the cache holds: a recording's first note
    // reaches the disk at once, the refreshes a minute at a time.
    ULONGLONG now = GetTickCount64();
    if (ok && (m_Start.m_Ticks != m_FlushedStart || now - m_FlushedAt >= kFlushEveryMs)) {
        FlushFileBuffers(m_hFile);
        m_FlushedAt = now;
        m_FlushedStart = m_Start.m_Ticks;
    }
    return ok;
}

void CUnfinishedRecording::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_FlushedStart = 0;
}

void CUnfinishedRecording::Remove()
{
    Close();
    wchar_t path[MAX_PATH];
    if (Path(path, MAX_PATH))
        DeleteFileW(path);
}

bool CUnfinishedRecording::Read()
{
    wchar_t path[MAX_PATH];
    if (!Path(path, MAX_PATH))
        return false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char bytes[kMaxBytes + 1];
    DWORD read = 0;
    if (!ReadFile(file, bytes, kMaxBytes, &read, nullptr))
        read = 0;
    CloseHandle(file);
    bytes[read] = '\0';
    wchar_t* text = MultiToWide(bytes, static_cast<int>(read), CP_UTF8);
    if (!text)
        return false;
    for (wchar_t* line = text; line && *line;) {
        wchar_t* end = wcspbrk(line, L"\r\n");
        if (end)
            *end++ = L'\0';
        wchar_t* value = wcschr(line, L'\t');
        if (value) {
            *value++ = L'\0';
            bool negative = false;
            unsigned long long number = 0;
            if (wcscmp(line, L"title") == 0)
                lstrcpynW(m_Title, value, kTitleSize);
            else if (wcscmp(line, L"start") == 0)
                m_Start.Parse(value);
            else if (wcscmp(line, L"stop") == 0)
                m_Stop.Parse(value);
            else if (wcscmp(line, L"seen") == 0)
                m_Seen.Parse(value);
            else if (wcscmp(line, L"kept") == 0 && ScanDecimal(value, negative, number) && !negative)
                m_Kept = static_cast<long long>(number);
        }
        line = end;
    }
    delete[] text;
    if (m_Start.m_Ticks && m_Stop.m_Ticks && m_Stop.Diff(m_Start) > 0)
        return true;
    Trace(L"[CUnfinishedRecording] %s does not say which recording\n", path);
    return false;
}

void CUnfinishedRecording::Describe(bool japanese, bool goesOn, wchar_t* text, int count) const
{
    wchar_t kept[32], length[32];
    long long whole = m_Stop.Diff(m_Start) / CDateTime::kSecond;
    Duration(m_Kept < whole ? m_Kept : whole, kept, 32);
    Duration(whole, length, 32);
    const wchar_t* title = CAppParameter::ShownTitle(m_Title, japanese);
    int hour = m_Seen.m_Ticks ? m_Seen.m_Time.wHour : 0, minute = m_Seen.m_Ticks ? m_Seen.m_Time.wMinute : 0;
    if (japanese)
        FormatText(text, count, L"%s は %02d:%02d に途切れました。%s のうち %s を録音しました。%s", title, hour, minute,
                   length, kept, goesOn ? L"残りは次のファイルに録音します。" : L"");
    else
        FormatText(text, count, L"%s was cut at %02d:%02d: %s of %s kept.%s", title, hour, minute, kept, length,
                   goesOn ? L" The rest is recorded into the next file." : L"");
}
