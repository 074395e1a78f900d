#include "afterwards/RecycleBin.h"
#include "foundation/Trace.h"

#include <shellapi.h>
#include <shobjidl.h>

namespace {

// Asked before the delete: one that would not go to the bin is refused,
// which cancels the operation (of one file).
class RefuseForGood : public IFileOperationProgressSink {
public:
    bool m_bRefused = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IFileOperationProgressSink) {
            *object = static_cast<IFileOperationProgressSink*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on its caller's stack, beyond the operation.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override
    {
        if (flags & TSF_DELETE_RECYCLE_IF_POSSIBLE)
            return S_OK;
        m_bRefused = true;
        return E_ABORT;
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT result, IShellItem* recycled) override
    {
        if (SUCCEEDED(result) && !recycled)
            Trace(L"[CRecycleBin] a file was deleted without the Recycle Bin\n");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem*) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }
};

// The file's identity and its count of names; zeros where it cannot be read.
BY_HANDLE_FILE_INFORMATION NamesOf(const std::wstring& path)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return info;
    if (!GetFileInformationByHandle(file, &info))
        info = BY_HANDLE_FILE_INFORMATION();
    CloseHandle(file);
    return info;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.nNumberOfLinks && b.nNumberOfLinks && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

HRESULT CreateFileOperation(IFileOperation** operation)
{
    return CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(operation));
}

int DeleteByFileOp(const wchar_t* file)
{
    // The list ends in two terminators: c_str adds the second.
    std::wstring list(file);
    list.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    int code = SHFileOperationW(&op);
    return code == 0 && op.fAnyOperationsAborted ? ERROR_CANCELLED : code;
}

}  // namespace

HRESULT (*CRecycleBin::s_CreateOperation)(IFileOperation**) = CreateFileOperation;
int (*CRecycleBin::s_DeleteByFileOp)(const wchar_t*) = DeleteByFileOp;

CRecycleBin::Result CRecycleBin::Move(const std::wstring& file, HRESULT& error)
{
    IFileOperation* operation = nullptr;
    error = s_CreateOperation(&operation);
    bool missing = error == REGDB_E_CLASSNOTREG || error == CLASS_E_CLASSNOTAVAILABLE || error == E_NOINTERFACE;
    if (SUCCEEDED(error) && operation) {
        // A stub of the interface (Wine's) answers its first call so, before
        // anything is asked of it: as missing. A failure of any later step
        // keeps the file.
        error = operation->SetOperationFlags(FOF_NO_UI | FOFX_RECYCLEONDELETE);
        missing = error == E_NOTIMPL;
        Result result = missing ? kFailed : MoveByFileOperation(operation, file, error);
        operation->Release();
        if (!missing)
            return result;
    } else if (!missing) {
        if (SUCCEEDED(error))
            error = E_POINTER;
        return kFailed;
    }
    Trace(L"[CRecycleBin] the shell's file operation is missing: SHFileOperation instead\n");
    return MoveByFileOp(file, error);
}

CRecycleBin::Result CRecycleBin::MoveByFileOperation(IFileOperation* operation, const std::wstring& file,
                                                     HRESULT& error)
{
    RefuseForGood sink;
    DWORD cookie = 0;
    error = operation->Advise(&sink, &cookie);
    IShellItem* item = nullptr;
    if (SUCCEEDED(error))
        error = SHCreateItemFromParsingName(file.c_str(), nullptr, IID_PPV_ARGS(&item));
    if (SUCCEEDED(error)) {
        error = operation->DeleteItem(item, nullptr);
        item->Release();
    }
    if (SUCCEEDED(error))
        error = operation->PerformOperations();
    if (cookie)
        operation->Unadvise(cookie);
    if (sink.m_bRefused)
        return kRefused;
    return SUCCEEDED(error) || error == COPYENGINE_E_USER_CANCELLED ? kDone : kFailed;
}

CRecycleBin::Result CRecycleBin::MoveByFileOp(const std::wstring& file, HRESULT& error)
{
    wchar_t root[MAX_PATH] = L"";
    if (!GetVolumePathNameW(file.c_str(), root, MAX_PATH) || GetDriveTypeW(root) != DRIVE_FIXED)
        return kRefused;
    // The call deletes for good where the bin is off or too small, and tells
    // no one. A second name of the file is made first: where the delete took
    // the file's name without the bin holding it (one name less), the file
    // comes back under its own name. A spare left by a crash goes first.
    std::wstring spare = file + L".keep";
    if (SameFile(NamesOf(spare), NamesOf(file)))
        DeleteFileW(spare.c_str());
    if (!CreateHardLinkW(spare.c_str(), file.c_str(), nullptr)) {
        error = HRESULT_FROM_WIN32(GetLastError());
        return kRefused;  // a drive without hard links: not risked
    }
    DWORD links = NamesOf(spare).nNumberOfLinks;
    int code = s_DeleteByFileOp(file.c_str());
    error = code ? HRESULT_FROM_WIN32(static_cast<DWORD>(code)) : S_OK;
    bool gone = GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (!gone || (links && NamesOf(spare).nNumberOfLinks == links)) {
        DeleteFileW(spare.c_str());
        if (gone)
            return kDone;
        if (SUCCEEDED(error))
            error = E_FAIL;
        return kFailed;
    }
    if (MoveFileExW(spare.c_str(), file.c_str(), 0))
        Trace(L"[CRecycleBin] %s was deleted, not recycled: it is back\n", file.c_str());
    else
        Trace(L"[CRecycleBin] %s was deleted, not recycled: it is kept as %s\n", file.c_str(), spare.c_str());
    return kRefused;
}
