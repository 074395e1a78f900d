#include "foundation/StationText.h"

#include <windows.h>
#include <new>

unsigned UserAnsiCodePage()
{
    unsigned codePage = 0;
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<wchar_t*>(&codePage), sizeof codePage / sizeof(wchar_t)) <= 0 ||
        codePage == 0 || codePage == CP_UTF8)
        codePage = 1252;
    return codePage;
}

wchar_t* StationTextToWide(const char* bytes, int length, unsigned ansiCodePage)
{
    if (!bytes || length < 0)
        length = 0;
    const unsigned pages[2] = {CP_UTF8, ansiCodePage};
    for (unsigned page : pages) {
        // Refuses what is not valid in that code page, rather than guessing.
        int n = length ? MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0) : 0;
        if (n <= 0 && length)
            continue;
        wchar_t* wide = new (std::nothrow) wchar_t[n + 1]();
        if (wide && n)
            MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, wide, n);
        return wide;
    }
    wchar_t* wide = new (std::nothrow) wchar_t[length + 1]();
    for (int i = 0; wide && i < length; ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
    return wide;
}
