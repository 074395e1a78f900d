#include "recorder/RecordingLevel.h"
#include "capture/LevelMeter.h"
#include "foundation/Format.h"

volatile LONG RecordingLevel::s_Recording = 0;
volatile LONG RecordingLevel::s_Peak = 0;
volatile LONG64 RecordingLevel::s_Frames = 0;
volatile LONG RecordingLevel::s_Rate = 0;

void RecordingLevel::PeakText(wchar_t* text, int count)
{
    LONG peak = s_Peak;
    if (peak <= 0)
        lstrcpynW(text, L"-inf dBFS", count);
    else
        FormatText(text, static_cast<size_t>(count), L"%.0f dBFS", CLevelMeter::ToDb(peak));
}

void RecordingLevel::TimeText(wchar_t* text, int count)
{
    long long seconds = s_Rate > 0 ? s_Frames / s_Rate : 0;
    FormatText(text, static_cast<size_t>(count), L"%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}
