#include "afterwards/RecordingCleaner.h"
#include "config/AppParameter.h"
#include "files/FilePrefix.h"
#include "foundation/DateTime.h"
#include "foundation/Format.h"
#include "foundation/NoticePost.h"
#include "foundation/TextLines.h"
#include "foundation/Trace.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <objbase.h>

CRecordingCleaner::CRecordingCleaner()
    : m_hThread(nullptr), m_hRequest(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_hQuit(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_hWindow(nullptr)
{
}

CRecordingCleaner::~CRecordingCleaner()
{
    Stop();
    if (m_hRequest)
        CloseHandle(m_hRequest);
    if (m_hQuit)
        CloseHandle(m_hQuit);
}

bool CRecordingCleaner::Start(HWND window)
{
    if (m_hThread || !m_hRequest || !m_hQuit)
        return false;
    m_hWindow = window;
    ResetEvent(m_hQuit);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return m_hThread != nullptr;
}

void CRecordingCleaner::Request()
{
    if (m_hRequest)
        SetEvent(m_hRequest);
}

void CRecordingCleaner::Stop()
{
    HANDLE thread = InterlockedExchangePointer(&m_hThread, nullptr);
    if (!thread)
        return;
    SetEvent(m_hQuit);
    // A shell operation on a slow drive is not waited for long: the process
    // ending takes it along.
    if (WaitForSingleObject(thread, kStopWaitMs) != WAIT_OBJECT_0)
        Trace(L"[CRecordingCleaner] the clean-up did not end in %lu ms\n", kStopWaitMs);
    CloseHandle(thread);
}

DWORD WINAPI CRecordingCleaner::ThreadProc(void* param)
{
    // The shell's file operation wants a single-threaded apartment.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    static_cast<CRecordingCleaner*>(param)->Run();
    if (SUCCEEDED(hr))
        CoUninitialize();
    return 0;
}

void CRecordingCleaner::Run()
{
    HANDLE events[] = {m_hQuit, m_hRequest};
    ULONGLONG last = GetTickCount64();
    for (bool due = true;;) {
        if (due) {
            CleanUp();
            last = GetTickCount64();
        }
        DWORD woke = WaitForMultipleObjects(2, events, FALSE, kCheckMs);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
            return;
        // The tick count goes on while the PC sleeps: a day is a day.
        due = woke == WAIT_OBJECT_0 + 1 || GetTickCount64() - last >= 24ULL * kCheckMs;
    }
}

std::vector<std::wstring> CRecordingCleaner::Titles(const std::wstring& folder)
{
    std::vector<std::wstring> titles;
    if (!g_pConfig)
        return titles;
    struct Context {
        const std::wstring* folder;
        std::vector<std::wstring>* titles;
    } context = {&folder, &titles};
    g_pConfig->m_ProgramList.ForEach([](const ProgramItem& program, void* param) {
        Context* c = static_cast<Context*>(param);
        CString title(program.m_Title);
        c->titles->push_back(FileTitle(c->folder->c_str(), title.GetWide(), kFilePrefixSize));
    }, &context);
    CString recorded;
    g_pConfig->GetSetting(g_pConfig->m_RecordedTitles, recorded);
    ForEachLine(recorded.GetWide(), [&](const wchar_t* line, size_t length) { titles.emplace_back(line, length); });
    return titles;
}

void CRecordingCleaner::CleanUp()
{
    int days = g_pConfig ? g_pConfig->m_KeepDays : 0;
    if (days <= 0)
        return;
    CString folderText;
    g_pConfig->GetWavFolder(folderText);
    std::wstring folder = folderText.GetWide() ? folderText.GetWide() : L"";
    if (folder.empty())
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    Outcome outcome = CleanFolder(folder, days, Titles(folder), FileTimeToTicks(now), Bin());
    bool ja = g_pConfig->m_UiLanguage == 1;
    wchar_t text[MAX_PATH + 120];
    if (outcome.moved > 0) {
        FormatText(text, MAX_PATH + 120, ja ? L"%d ファイル、%.1f MB (%d 日より前)" : L"%d files, %.1f MB, older than %d days",
                   outcome.moved, static_cast<double>(outcome.bytes) / 1048576.0, days);
        Tell(kNoticeCleanedUp, text);
    }
    if (outcome.result == CRecycleBin::kDone) {
        m_ToldFolder.clear();
        return;
    }
    // Said once a folder: the clean-ups to come meet the same.
    if (m_ToldFolder == folder)
        return;
    m_ToldFolder = folder;
    if (outcome.result == CRecycleBin::kRefused) {
        Tell(kNoticeRecycleRefused, folder.c_str());
    } else {
        FormatText(text, MAX_PATH + 120, ja ? L"%s (エラー 0x%08X)" : L"%s (error 0x%08X)", folder.c_str(),
                   static_cast<unsigned>(outcome.error));
        Tell(kNoticeCleanupFailed, text);
    }
}

CRecordingCleaner::Outcome CRecordingCleaner::CleanFolder(const std::wstring& folder, int keepDays,
                                                          const std::vector<std::wstring>& titles, long long now,
                                                          CRecycleBin& bin)
{
    Outcome outcome;
    std::wstring base = folder;
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();  // a drive's root
    long long before = now - static_cast<long long>(keepDays) * CDateTime::kDay;
    std::vector<std::wstring> old;
    std::vector<unsigned long long> sizes;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((base + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return outcome;
    do {
        // Files of this folder only: no subfolder, no link to elsewhere.
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        size_t length = 0;
        const wchar_t* stamp = nullptr;
        if (!ParseRecordingName(found.cFileName, length, stamp) || FileTimeToTicks(found.ftLastWriteTime) >= before)
            continue;
        auto named = [&](const std::wstring& title) {
            return title.size() == length && CompareStringOrdinal(title.c_str(), static_cast<int>(length),
                                                                  found.cFileName, static_cast<int>(length),
                                                                  TRUE) == CSTR_EQUAL;
        };
        if (std::none_of(titles.begin(), titles.end(), named))
            continue;
        std::wstring path = base + L"\\" + found.cFileName;
        // A read-only file the user protected; one open elsewhere is being
        // written or played: both stay.
        HANDLE alone = found.dwFileAttributes & FILE_ATTRIBUTE_READONLY
                           ? INVALID_HANDLE_VALUE
                           : CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (alone == INVALID_HANDLE_VALUE) {
            Trace(L"[CRecordingCleaner] kept %s: read-only or in use\n", path.c_str());
            continue;
        }
        CloseHandle(alone);
        old.push_back(path);
        sizes.push_back((static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    if (old.empty())
        return outcome;
    outcome.result = bin.Move(old, outcome.error);
    for (size_t i = 0; i < old.size(); ++i)
        if (GetFileAttributesW(old[i].c_str()) == INVALID_FILE_ATTRIBUTES) {
            ++outcome.moved;
            outcome.bytes += sizes[i];
        }
    Trace(L"[CRecordingCleaner] %d of %d old recordings in %s went to the Recycle Bin (result %d, 0x%08X)\n",
          outcome.moved, static_cast<int>(old.size()), folder.c_str(), static_cast<int>(outcome.result),
          static_cast<unsigned>(outcome.error));
    return outcome;
}

void CRecordingCleaner::Tell(WPARAM notice, const wchar_t* text)
{
    PostNoticeText(m_hWindow, notice, text);
}
