// What the running recording takes, for the program list and the tray tip:
// the peak of its latest buffer and the frames taken so far. Written whole
// by the capture thread (under the audio controller's cut lock), read by
// the UI thread without a lock; no second client is opened for it.
#pragma once

#include <windows.h>

struct RecordingLevel {
    static volatile LONG s_Recording;  // 1 while a recording takes frames
    static volatile LONG s_Peak;       // 0 to 32768
    static volatile LONG64 s_Frames;
    static volatile LONG s_Rate;

    // The peak as dBFS text ("-12 dBFS", "-inf dBFS" for silence).
    static void PeakText(wchar_t* text, int count);
    // The time recorded as h:mm:ss.
    static void TimeText(wchar_t* text, int count);
};
