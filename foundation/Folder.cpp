#include "foundation/Folder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

bool MakeFolder(const wchar_t* path)
{
    if (!path || !*path)
        return false;
    // SHCreateDirectoryExW wants a full path.
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return false;
    DWORD attributes = GetFileAttributesW(full);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    int result = SHCreateDirectoryExW(nullptr, full, nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS)
        return false;
    attributes = GetFileAttributesW(full);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool GetMusicFolder(wchar_t* buffer)
{
    buffer[0] = 0;
    PWSTR path = nullptr;
    HRESULT hr = SHGetKnownFolderPath(FOLDERID_Music, KF_FLAG_CREATE, nullptr, &path);
    bool ok = SUCCEEDED(hr) && path && lstrlenW(path) < MAX_PATH;
    if (ok)
        lstrcpynW(buffer, path, MAX_PATH);
    CoTaskMemFree(path);
    return ok;
}

unsigned long long FreeBytesAt(const wchar_t* path)
{
    if (!path)
        return ~0ULL;
    // A file name is not a folder: the volume of its folder is asked.
    wchar_t folder[MAX_PATH + 1];
    lstrcpynW(folder, path, MAX_PATH);
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (slash && GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES)
        slash[1] = L'\0';
    ULARGE_INTEGER available;
    return GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr) ? available.QuadPart : ~0ULL;
}
