// The clean-up of old recordings against a shell that refuses, fails or
// deletes for good where Wine's would recycle, on real files.
#include "afterwards/RecordingCleaner.h"
#include "foundation/Messages.h"
#include "notices/NoticeText.h"
#include "support/ProgramFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shobjidl.h>

namespace {

#define UNUSED_STEP(name, ...) \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { return E_NOTIMPL; }

// The shell's file operation as Windows runs it: the deletes in turn, each
// asked of the sink first; a refusal cancels it and all after it. The bin
// refuses the files named "Big..." (larger than it), takes the others into
// s_Bin.
struct FakeOperation final : IFileOperation {
    static inline std::wstring s_Bin;
    static inline HRESULT s_Perform = S_OK;  // a failure PerformOperations answers at once
    static inline DWORD s_Flags = 0;
    IFileOperationProgressSink* m_pSink = nullptr;
    std::vector<std::wstring> m_Queued;
    ULONG m_Refs = 1;

    static HRESULT Create(IFileOperation** operation) { return *operation = new FakeOperation, S_OK; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override { return *object = nullptr, E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_Refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG refs = --m_Refs;
        if (!refs)
            delete this;
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Advise(IFileOperationProgressSink* sink, DWORD* cookie) override
    {
        m_pSink = sink;
        return *cookie = 1, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return m_pSink = nullptr, S_OK; }
    HRESULT STDMETHODCALLTYPE SetOperationFlags(DWORD flags) override { return s_Flags = flags, S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteItem(IShellItem* item, IFileOperationProgressSink*) override
    {
        wchar_t* path = nullptr;
        HRESULT hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
        if (SUCCEEDED(hr))
            m_Queued.push_back(path);
        CoTaskMemFree(path);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE PerformOperations() override
    {
        if (FAILED(s_Perform))
            return s_Perform;
        for (const std::wstring& path : m_Queued) {
            std::wstring name = path.substr(path.rfind(L'\\') + 1);
            DWORD flags = name.rfind(L"Big", 0) == 0 ? 0 : TSF_DELETE_RECYCLE_IF_POSSIBLE;
            if (FAILED(m_pSink->PreDeleteItem(flags, nullptr)))
                return COPYENGINE_E_USER_CANCELLED;
            MoveFileW(path.c_str(), (s_Bin + L"\\" + name).c_str());
        }
        return S_OK;
    }
    UNUSED_STEP(SetProgressMessage, LPCWSTR)
    UNUSED_STEP(SetProgressDialog, IOperationsProgressDialog*)
    UNUSED_STEP(SetProperties, IPropertyChangeArray*)
    UNUSED_STEP(SetOwnerWindow, HWND)
    UNUSED_STEP(ApplyPropertiesToItem, IShellItem*)
    UNUSED_STEP(ApplyPropertiesToItems, IUnknown*)
    UNUSED_STEP(RenameItem, IShellItem*, LPCWSTR, IFileOperationProgressSink*)
    UNUSED_STEP(RenameItems, IUnknown*, LPCWSTR)
    UNUSED_STEP(MoveItem, IShellItem*, IShellItem*, LPCWSTR, IFileOperationProgressSink*)
    UNUSED_STEP(MoveItems, IUnknown*, IShellItem*)
    UNUSED_STEP(CopyItem, IShellItem*, IShellItem*, LPCWSTR, IFileOperationProgressSink*)
    UNUSED_STEP(CopyItems, IUnknown*, IShellItem*)
    UNUSED_STEP(DeleteItems, IUnknown*)
    UNUSED_STEP(NewItem, IShellItem*, DWORD, LPCWSTR, LPCWSTR, IFileOperationProgressSink*)
    UNUSED_STEP(GetAnyOperationsAborted, BOOL*)
};

HRESULT Unregistered(IFileOperation** operation) { return *operation = nullptr, REGDB_E_CLASSNOTREG; }
// The older call where the bin is off: deleted for good; or one that fails.
int DeleteForGood(const wchar_t* file) { return DeleteFileW(file) ? 0 : 2; }
int AccessDenied(const wchar_t*) { return ERROR_ACCESS_DENIED; }

// An old recording of the given name in folder, last written in 2014 plus minutes.
void OldFile(const std::wstring& folder, const std::wstring& name, int minutes = 0)
{
    std::wstring path = folder + L"\\" + name;
    ASSERT_TRUE(WriteBytes(path, "recorded"));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ULONGLONG ticks = 0x01D0000000000000ULL + minutes * 600000000ULL;
    FILETIME when = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(h, nullptr, nullptr, &when);
    CloseHandle(h);
}

// The windows COM makes for a single-threaded apartment, of thread.
int OleWindows(DWORD thread)
{
    int count = 0;
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, L"OleMainThreadWndClass", nullptr));)
        count += GetWindowThreadProcessId(w, nullptr) == thread;
    return count;
}

// "notice detail" of each notice posted to window so far.
std::vector<std::wstring> Told(HWND window)
{
    std::vector<std::wstring> told;
    MSG msg;
    while (PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_NOTICE, PM_REMOVE)) {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(msg.lParam);
        told.push_back(std::to_wstring(msg.wParam) + L" " + (text ? text : L""));
        delete[] text;
    }
    return told;
}

}  // namespace

// One file to the bin: what the shell does with it, and what is left. A
// refusal or a failure keeps the file; where the file operation is missing
// the older call is used, and a file it deleted for good comes back whole.
// A file operation that fails later never falls back on the older call.
TEST(RecycleBin, KeepsWhatTheBinDoesNotTake)
{
    TempDir dir, bin;
    FakeOperation::s_Bin = bin.Path();
    struct Case {
        HRESULT (*create)(IFileOperation**);
        HRESULT perform;
        int (*older)(const wchar_t*);
        const wchar_t* name;
        CRecycleBin::Result result;
        bool kept;
    } cases[] = {
        {FakeOperation::Create, S_OK, DeleteForGood, L"Old.wav", CRecycleBin::kDone, false},
        {FakeOperation::Create, S_OK, DeleteForGood, L"Big.wav", CRecycleBin::kRefused, true},
        {FakeOperation::Create, E_NOTIMPL, DeleteForGood, L"Old.wav", CRecycleBin::kFailed, true},
        {Unregistered, S_OK, DeleteForGood, L"Old.wav", CRecycleBin::kRefused, true},
        {Unregistered, S_OK, AccessDenied, L"Old.wav", CRecycleBin::kFailed, true},
        {Unregistered, S_OK, CRecycleBin::s_DeleteByFileOp, L"Old.wav", CRecycleBin::kDone, false},
    };
    auto create = CRecycleBin::s_CreateOperation;
    auto older = CRecycleBin::s_DeleteByFileOp;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        CRecycleBin::s_CreateOperation = c.create;
        CRecycleBin::s_DeleteByFileOp = c.older;
        FakeOperation::s_Perform = c.perform;
        FakeOperation::s_Flags = 0;
        std::wstring file = dir.File(c.name);
        ASSERT_TRUE(WriteBytes(file, "recorded"));
        HRESULT error = S_OK;
        EXPECT_EQ(CRecycleBin::Move(file, error), c.result);
        EXPECT_EQ(ReadBytes(file), c.kept ? "recorded" : "");
        EXPECT_EQ(ListFiles(dir.Path()).size(), c.kept ? 1u : 0u);  // no spare name left
        // Recycled, not put on Explorer's undo list.
        EXPECT_EQ(FakeOperation::s_Flags, c.create == Unregistered ? 0u : FOF_NO_UI | FOFX_RECYCLEONDELETE);
        DeleteFileW(file.c_str());
        CRecycleBin::s_DeleteByFileOp = older;
    }
    CoUninitialize();
    CRecycleBin::s_CreateOperation = create;
}

// Clean-ups day after day: a file the bin refuses holds back no other, and
// is named; the same refusal is not told again, one more refused file is.
TEST(RecordingCleaner, ARefusedFileHoldsBackNoOtherAndIsNamedOnce)
{
    TempDir dir, bin;
    FakeOperation::s_Bin = bin.Path();
    IniConfig config(dir.File(L"marivane.ini"));
    config.m_WavFileDir.Assign(dir.Path().c_str());
    config.m_KeepDays = 1;
    config.AddRecordedTitle(L"Old");
    config.AddRecordedTitle(L"Big");
    g_pConfig = &config;
    auto create = CRecycleBin::s_CreateOperation;
    CRecycleBin::s_CreateOperation = FakeOperation::Create;
    const std::wstring refused = std::to_wstring(kNoticeRecycleRefused) + L" " + dir.Path() + L"\t";
    struct Pass {
        std::vector<const wchar_t*> added;  // oldest first
        std::vector<std::wstring> told;
    } passes[] = {
        {{L"Big_202001010000_000.wav", L"Old_202001010000_000.wav", L"Old_202001010000_001.wav"},
         {std::to_wstring(kNoticeCleanedUp) + L" 2 files, 0.0 MB, older than 1 days", refused + L"Big_202001010000_000.wav"}},
        {{}, {}},
        {{L"Big_202001020000_000.wav"}, {refused + L"Big_202001010000_000.wav, Big_202001020000_000.wav"}},
        {{}, {}},
    };
    HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    CRecordingCleaner cleaner;
    int minutes = 0;
    for (const Pass& p : passes) {
        SCOPED_TRACE(&p - passes);
        for (const wchar_t* name : p.added)
            OldFile(dir.Path(), name, ++minutes);
        cleaner.CleanUp(window);
        EXPECT_EQ(Told(window), p.told);
    }
    EXPECT_EQ(ListFiles(bin.Path()).size(), 2u);
    // The balloon names them, in either language.
    wchar_t text[MAX_PATH + 400];
    for (bool ja : {false, true})
        EXPECT_NE(wcsstr(NoticeText(kNoticeRecycleRefused, (dir.Path() + L"\tBig_1.wav, Big_2.wav").c_str(), ja, L"",
                                    text, MAX_PATH + 400),
                         L": Big_1.wav, Big_2.wav"),
                  nullptr);
    DestroyWindow(window);
    CRecycleBin::s_CreateOperation = create;
    g_pConfig = nullptr;
}

// The clean-up thread is in a COM apartment only while it moves files:
// between passes it owns no OLE window, which message broadcasts would wait on.
TEST(RecordingCleaner, WaitsOutsideAnyApartment)
{
    TempDir dir;
    IniConfig config(dir.File(L"marivane.ini"));
    config.m_WavFileDir.Assign(dir.Path().c_str());
    config.m_KeepDays = 1;
    config.AddRecordedTitle(L"Old");
    g_pConfig = &config;
    OldFile(dir.Path(), L"Old_202001010000_000.wav");
    static DWORD s_Thread;
    static int s_OleWindows;
    auto move = CRecordingCleaner::s_MoveToBin;
    CRecordingCleaner::s_MoveToBin = [](const std::wstring& file, HRESULT& error) {
        s_OleWindows = OleWindows(s_Thread = GetCurrentThreadId());
        error = S_OK;
        return DeleteFileW(file.c_str()) ? CRecycleBin::kDone : CRecycleBin::kFailed;
    };
    HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    CRecordingCleaner cleaner;
    ASSERT_TRUE(cleaner.Start(window));
    MSG msg;
    EXPECT_TRUE(WaitUntil([&] { return PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_NOTICE, PM_REMOVE); }, 10000));
    delete[] reinterpret_cast<wchar_t*>(msg.lParam);
    EXPECT_EQ(s_OleWindows, 1);
    Sleep(100);
    EXPECT_EQ(OleWindows(s_Thread), 0);
    cleaner.Stop();
    DestroyWindow(window);
    CRecordingCleaner::s_MoveToBin = move;
    g_pConfig = nullptr;
}
