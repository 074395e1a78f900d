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

struct CRecordingCleaner::State {
    LONG refs = 1;
    HANDLE request = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: a clean-up is asked for
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);      // manual-reset: the pass and the thread end
    HWND window = nullptr;
    // Held while a pass copies the settings, and taken by Stop after quit:
    // no pass reads them after Stop (they are freed at exit).
    CRITICAL_SECTION settingsLock;
    // The passes' own (one at a time): what the user was told of in
    // toldFolder, so that the same is not said every day.
    std::wstring toldFolder;
    std::vector<std::wstring> toldRefused;  // sorted
    bool toldFailed = false;

    State() { InitializeCriticalSection(&settingsLock); }
    ~State()
    {
        DeleteCriticalSection(&settingsLock);
        if (request)
            CloseHandle(request);
        if (quit)
            CloseHandle(quit);
    }
    bool Quitting() const { return WaitForSingleObject(quit, 0) == WAIT_OBJECT_0; }
    void Release()
    {
        if (InterlockedDecrement(&refs) == 0)
            delete this;
    }
};

namespace {

// Titles of the programs in the list and of those recorded.
std::vector<std::wstring> Titles(const std::wstring& folder)
{
    std::vector<std::wstring> titles;
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

// The refused names after folder and a tab, as many as a notice's detail
// holds (MAX_PATH), then how many more.
std::wstring RefusedDetail(const std::wstring& folder, const std::vector<std::wstring>& names, bool ja)
{
    std::wstring detail = folder + L"\t";
    size_t shown = 0;
    for (; shown < names.size(); ++shown) {
        size_t more = (shown ? 2 : 0) + names[shown].size();
        if (detail.size() + more + 24 >= MAX_PATH)
            break;
        if (shown)
            detail += L", ";
        detail += names[shown];
    }
    if (shown < names.size()) {
        wchar_t rest[32];
        FormatText(rest, 32, ja ? L" ほか %d 件" : L" and %d more", static_cast<int>(names.size() - shown));
        detail += rest;
    }
    return detail;
}

}  // namespace

CRecycleBin::Result (*CRecordingCleaner::s_MoveToBin)(const std::wstring&, HRESULT&) = CRecycleBin::Move;

CRecordingCleaner::CRecordingCleaner() : m_pState(new (std::nothrow) State), m_hThread(nullptr), m_bAbandoned(false)
{
}

CRecordingCleaner::~CRecordingCleaner()
{
    Stop();
    if (m_pState)
        m_pState->Release();
}

bool CRecordingCleaner::Start(HWND window)
{
    if (m_hThread || m_bAbandoned || !m_pState || !m_pState->request || !m_pState->quit)
        return false;
    m_pState->window = window;
    ResetEvent(m_pState->quit);
    InterlockedIncrement(&m_pState->refs);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, m_pState, 0, nullptr);
    if (!m_hThread)
        m_pState->Release();
    return m_hThread != nullptr;
}

void CRecordingCleaner::Request()
{
    if (m_pState && m_pState->request)
        SetEvent(m_pState->request);
}

void CRecordingCleaner::Cancel()
{
    if (m_pState && m_pState->quit)
        SetEvent(m_pState->quit);
}

void CRecordingCleaner::Stop()
{
    HANDLE thread = InterlockedExchangePointer(&m_hThread, nullptr);
    if (!thread)
        return;
    Cancel();
    EnterCriticalSection(&m_pState->settingsLock);
    LeaveCriticalSection(&m_pState->settingsLock);
    // The file being moved is waited for, a shell operation that hangs on a
    // slow drive not for long: the thread keeps its share of the state and
    // ends with the process.
    if (WaitForSingleObject(thread, kStopWaitMs) != WAIT_OBJECT_0) {
        Trace(L"[CRecordingCleaner] the clean-up did not end in %lu ms\n", kStopWaitMs);
        m_bAbandoned = true;
    }
    CloseHandle(thread);
}

DWORD WINAPI CRecordingCleaner::ThreadProc(void* param)
{
    State* state = static_cast<State*>(param);
    Run(*state);
    state->Release();
    return 0;
}

void CRecordingCleaner::Run(State& state)
{
    HANDLE events[] = {state.quit, state.request};
    ULONGLONG last = GetTickCount64();
    for (bool due = true;;) {
        if (due) {
            Pass(state);
            last = GetTickCount64();
        }
        DWORD woke = WaitForMultipleObjects(2, events, FALSE, kCheckMs);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
            return;
        // The tick count goes on while the PC sleeps: a day is a day.
        due = woke == WAIT_OBJECT_0 + 1 || GetTickCount64() - last >= 24ULL * kCheckMs;
    }
}

void CRecordingCleaner::CleanUp(HWND window)
{
    if (!m_pState)
        return;
    m_pState->window = window;
    Pass(*m_pState);
}

void CRecordingCleaner::Pass(State& state)
{
    // What the pass needs of the settings is copied first.
    int days = 0;
    bool ja = false;
    std::wstring folder;
    std::vector<std::wstring> titles;
    EnterCriticalSection(&state.settingsLock);
    if (g_pConfig && g_pConfig->m_KeepDays > 0 && !state.Quitting()) {
        days = g_pConfig->m_KeepDays;
        ja = g_pConfig->m_UiLanguage == 1;
        CString folderText;
        g_pConfig->GetWavFolder(folderText);
        folder = folderText.GetWide() ? folderText.GetWide() : L"";
        titles = Titles(folder);
    }
    LeaveCriticalSection(&state.settingsLock);
    if (days <= 0 || folder.empty())
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    // The shell's file operation wants a single-threaded apartment, which
    // must pump messages while it waits: the thread is one for the pass only.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Outcome outcome = CleanFolder(folder, days, titles, FileTimeToTicks(now), state.quit);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (state.Quitting())
        return;  // the window is going

    wchar_t text[MAX_PATH + 120];
    if (outcome.moved > 0) {
        FormatText(text, MAX_PATH + 120, ja ? L"%d ファイル、%.1f MB (%d 日より前)" : L"%d files, %.1f MB, older than %d days",
                   outcome.moved, static_cast<double>(outcome.bytes) / 1048576.0, days);
        PostNoticeText(state.window, kNoticeCleanedUp, text);
    }
    // Told once a folder, and again when more files are refused than were
    // told of: the clean-ups to come meet the same.
    if (state.toldFolder != folder) {
        state.toldFolder = folder;
        state.toldRefused.clear();
        state.toldFailed = false;
    }
    std::sort(outcome.refused.begin(), outcome.refused.end());
    bool more = std::any_of(outcome.refused.begin(), outcome.refused.end(), [&](const std::wstring& name) {
        return !std::binary_search(state.toldRefused.begin(), state.toldRefused.end(), name);
    });
    state.toldRefused = outcome.refused;
    if (more)
        PostNoticeText(state.window, kNoticeRecycleRefused, RefusedDetail(folder, outcome.refused, ja).c_str());
    if (!outcome.failed) {
        state.toldFailed = false;
    } else if (!state.toldFailed) {
        state.toldFailed = true;
        FormatText(text, MAX_PATH + 120, ja ? L"%s (エラー 0x%08X)" : L"%s (error 0x%08X)", folder.c_str(),
                   static_cast<unsigned>(outcome.error));
        PostNoticeText(state.window, kNoticeCleanupFailed, text);
    }
}

CRecordingCleaner::Outcome CRecordingCleaner::CleanFolder(const std::wstring& folder, int keepDays,
                                                          const std::vector<std::wstring>& titles, long long now,
                                                          HANDLE quit)
{
    Outcome outcome;
    std::wstring base = folder;
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();  // a drive's root
    long long before = now - static_cast<long long>(keepDays) * CDateTime::kDay;
    struct Old {
        long long written;
        std::wstring name;
        unsigned long long size;
    };
    std::vector<Old> old;
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
        old.push_back({FileTimeToTicks(found.ftLastWriteTime), found.cFileName,
                       (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    // The oldest first: a clean-up cut short leaves the newer.
    std::sort(old.begin(), old.end(), [](const Old& a, const Old& b) { return a.written < b.written; });
    for (const Old& file : old) {
        if (quit && WaitForSingleObject(quit, 0) == WAIT_OBJECT_0) {
            Trace(L"[CRecordingCleaner] the clean-up stops: the program ends\n");
            break;
        }
        std::wstring path = base + L"\\" + file.name;
        HRESULT error = S_OK;
        CRecycleBin::Result result = s_MoveToBin(path, error);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ++outcome.moved;
            outcome.bytes += file.size;
        } else if (result == CRecycleBin::kRefused) {
            outcome.refused.push_back(file.name);
        } else if (!outcome.failed++) {
            outcome.error = FAILED(error) ? error : E_FAIL;
        }
    }
    Trace(L"[CRecordingCleaner] %d of %d old recordings in %s went to the Recycle Bin (%d refused, %d failed, 0x%08X)\n",
          outcome.moved, static_cast<int>(old.size()), folder.c_str(), static_cast<int>(outcome.refused.size()),
          outcome.failed, static_cast<unsigned>(outcome.error));
    return outcome;
}
