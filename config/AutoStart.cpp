#include "config/AutoStart.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"

#include <windows.h>

const wchar_t CAutoStart::kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t CAutoStart::kApprovedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t CAutoStart::kValueName[] = L"Marivane";

bool CAutoStart::IsOn()
{
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

bool CAutoStart::Set(bool on, const wchar_t* exePath)
{
    LSTATUS result;
    if (on) {
        wchar_t quoted[MAX_PATH + 3];
        FormatText(quoted, MAX_PATH + 3, L"\"%s\"", exePath ? exePath : L"");
        result = RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName, REG_SZ, quoted,
                                 static_cast<DWORD>((wcslen(quoted) + 1) * sizeof(wchar_t)));
    } else {
        result = RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    }
    if (result != ERROR_SUCCESS)
        Trace(L"CAutoStart::Set(%d): the registry refused (%ld)\n", on ? 1 : 0, static_cast<long>(result));
    return result == ERROR_SUCCESS;
}

bool CAutoStart::DisabledByTaskManager()
{
    // Twelve bytes; an odd first byte means disabled (2 and 6 are enabled).
    BYTE state[12] = {};
    DWORD size = sizeof state;
    if (RegGetValueW(HKEY_CURRENT_USER, kApprovedKey, kValueName, RRF_RT_REG_BINARY, nullptr, state, &size) !=
        ERROR_SUCCESS)
        return false;
    return size > 0 && (state[0] & 1) != 0;
}
