#include "foundation/TitleText.h"

#include <windows.h>

namespace {

unsigned s_CodePage = 0;  // set by tests only, before any station thread runs

std::wstring Convert(const char* bytes, size_t length, unsigned codePage)
{
    if (length == 0 || length > 0x7FFFFFFF)
        return std::wstring();
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(length), &wide[0], n);
    return wide;
}

}  // namespace

unsigned TitleCodePage()
{
    if (s_CodePage)
        return s_CodePage;
    DWORD page = 0;
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                        reinterpret_cast<LPWSTR>(&page), sizeof(page) / sizeof(wchar_t)) == 0 || page == 0)
        page = 1252;
    return page;
}

void SetTitleCodePage(unsigned codePage) { s_CodePage = codePage; }

std::wstring TitleText(const char* bytes, size_t length)
{
    std::wstring text = Convert(bytes, length, CP_UTF8);
    if (text.empty()) {
        unsigned page = TitleCodePage();
        if (page != CP_UTF8)
            text = Convert(bytes, length, page);
    }
    if (text.empty())
        for (size_t i = 0; i < length; ++i)
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}
