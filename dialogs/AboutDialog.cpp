#include "dialogs/AboutDialog.h"
#include "config/AppParameter.h"
#include "foundation/CodePage.h"
#include "foundation/Format.h"
#include "resources/resource.h"
#include "resources/version.h"

#include <string>

namespace {

// A line this long was wrapped by its author: the edit control wraps the
// paragraph at its own width instead. Shorter lines (copyright holders,
// headings) stay lines of their own, as do list items.
constexpr size_t kWrappedLine = 60;

// The embedded license texts (UTF-8, LF) as an edit control shows them.
std::wstring LicenseText()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_LICENSES), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    int bytes = found ? static_cast<int>(SizeofResource(module, found)) : 0;
    wchar_t* converted = text ? MultiToWide(text, bytes, CP_UTF8) : nullptr;
    std::wstring wide(converted ? converted : L"");
    delete[] converted;
    std::wstring shown;
    size_t lineStart = 0;
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] != L'\n') {
            shown += wide[i];
            continue;
        }
        wchar_t next = i + 1 < wide.size() ? wide[i + 1] : L'\n';
        bool joins = i - lineStart >= kWrappedLine && next != L'\n' && next != L'-' && next != L' ';
        shown += joins ? L" " : L"\r\n";
        lineStart = i + 1;
    }
    return shown;
}

}  // namespace

void CAboutDialog::OnInitDialog(HWND hwnd)
{
    wchar_t version[64];
    FormatText(version, 64, L"Version %s", g_pConfig ? g_pConfig->GetVersion() : L"" MARIVANE_VERSION_TEXT);
    SetDlgItemTextW(hwnd, IDC_ABOUT_VERSION, version);
    SetDlgItemTextW(hwnd, IDC_ABOUT_EDITION, L"64bit edition");
    SetDlgItemTextW(hwnd, IDC_ABOUT_LICENSES, LicenseText().c_str());
}
