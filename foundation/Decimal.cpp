#include "foundation/Decimal.h"

bool ScanDecimal(const wchar_t* text, bool& negative, unsigned long long& magnitude)
{
    negative = false;
    magnitude = 0;
    if (!text)
        return false;
    const wchar_t* p = text;
    while (*p == L' ' || *p == L'\t')
        ++p;
    negative = *p == L'-';
    if (negative)
        ++p;
    for (; *p >= L'0' && *p <= L'9'; ++p)
        if (magnitude <= 0xFFFFFFFFULL)
            magnitude = magnitude * 10 + static_cast<unsigned>(*p - L'0');
    return *p == 0;
}
