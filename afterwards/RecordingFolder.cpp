#include "afterwards/RecordingFolder.h"
#include "config/AppParameter.h"
#include "config/UiLanguage.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"

#include <shellapi.h>

void OpenRecordingFolder(HWND owner)
{
    CString folder;
    if (g_pConfig)
        g_pConfig->GetWavFolder(folder);
    const wchar_t* path = folder.GetWide();
    Trace(L"Opening the recording folder %s\n", path ? path : L"");
    if (path && MakeFolder(path) &&
        reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", path, nullptr, nullptr, SW_SHOWNORMAL)) > 32)
        return;
    bool ja = UiIsJapanese();
    wchar_t text[MAX_PATH + 100];
    FormatText(text, MAX_PATH + 100, ja ? L"録音フォルダー %s を開けませんでした。" : L"The recording folder %s could not be opened.",
               path ? path : L"");
    MessageBoxW(owner, text, ja ? L"録音フォルダー" : L"Recording folder", MB_ICONHAND | MB_OK);
}
