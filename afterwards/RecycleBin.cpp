#include "afterwards/RecycleBin.h"
#include "foundation/Trace.h"

#include <shellapi.h>
#include <shobjidl.h>

namespace {

// Asked before each delete: one that would not go to the bin is refused,
// which cancels the whole operation.
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

}  // namespace

CRecycleBin::Result CRecycleBin::Move(const std::vector<std::wstring>& files, HRESULT& error)
{
    error = S_OK;
    if (files.empty())
        return kDone;
    Result result = MoveByFileOperation(files, error);
    if (error != E_NOTIMPL && error != REGDB_E_CLASSNOTREG)
        return result;
    Trace(L"[CRecycleBin] the shell's file operation is missing: SHFileOperation instead\n");
    return MoveByFileOp(files, error);
}

CRecycleBin::Result CRecycleBin::MoveByFileOperation(const std::vector<std::wstring>& files, HRESULT& error)
{
    IFileOperation* operation = nullptr;
    error = CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&operation));
    if (FAILED(error))
        return kFailed;
    RefuseForGood sink;
    DWORD cookie = 0;
    error = operation->SetOperationFlags(FOF_NO_UI | FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE);
    if (SUCCEEDED(error))
        error = operation->Advise(&sink, &cookie);
    for (size_t i = 0; SUCCEEDED(error) && i < files.size(); ++i) {
        IShellItem* item = nullptr;
        error = SHCreateItemFromParsingName(files[i].c_str(), nullptr, IID_PPV_ARGS(&item));
        if (SUCCEEDED(error)) {
            error = operation->DeleteItem(item, nullptr);
            item->Release();
        }
    }
    if (SUCCEEDED(error))
        error = operation->PerformOperations();
    if (cookie)
        operation->Unadvise(cookie);
    operation->Release();
    if (sink.m_bRefused)
        return kRefused;
    return SUCCEEDED(error) || error == COPYENGINE_E_USER_CANCELLED ? kDone : kFailed;
}

CRecycleBin::Result CRecycleBin::MoveByFileOp(const std::vector<std::wstring>& files, HRESULT& error)
{
    wchar_t root[MAX_PATH] = L"";
    if (!GetVolumePathNameW(files[0].c_str(), root, MAX_PATH) || GetDriveTypeW(root) != DRIVE_FIXED)
        return kRefused;
    // The list ends in two terminators.
    std::wstring list;
    for (const std::wstring& file : files)
        list.append(file).push_back(L'\0');
    list.push_back(L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    int code = SHFileOperationW(&op);
    error = code ? HRESULT_FROM_WIN32(static_cast<DWORD>(code)) : S_OK;
    return code == 0 || op.fAnyOperationsAborted ? kDone : kFailed;
}
