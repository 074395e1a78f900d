#include "foundation/CodePage.h"

#include <windows.h>
#include <new>

wchar_t* MultiToWide(const char* bytes, int length, unsigned codePage)
{
    int n = (bytes && length > 0) ? MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0) : 0;
    if (n <= 0)
        n = length > 0 ? length : 0;
    wchar_t* wide = new (std::nothrow) wchar_t[n + 1]();
    if (!wide)
        return nullptr;
    if (bytes && length > 0)
        MultiByteToWideChar(codePage, 0, bytes, length, wide, n + 1);
    return wide;
}

char* WideToMulti(const wchar_t* wide, int length, unsigned codePage)
{
    int m = (wide && length > 0) ? WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr) : 0;
    if (m < 0)
        m = 0;
    char* bytes = new (std::nothrow) char[m + 1]();
    if (!bytes)
        return nullptr;
    if (m > 0)
        WideCharToMultiByte(codePage, 0, wide, length, bytes, m + 1, nullptr, nullptr);
    return bytes;
}
