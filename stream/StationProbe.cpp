#include "stream/StationProbe.h"

bool CStationProbe::Describe(const wchar_t* address, bool japanese, wchar_t* text, int count, volatile LONG* cancel)
{
    (void)address;
    (void)cancel;
    if (text && count > 0)
        lstrcpynW(text, japanese ? L"放送局の録音はまだ使えません。" : L"Stations cannot be recorded yet.", count);
    return false;
}
