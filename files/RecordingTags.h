// What a recording's files say of it where their format has room for it
// (FLAC's and Opus's Vorbis comments): the program's title, its scheduled
// start and the program that recorded it. They travel with the rest of a
// recording's parameters (files/RecordingParameters.h).
#pragma once

#include <windows.h>

struct RecordingTags {
    static constexpr int kTitleSize = 512;
    static constexpr int kCommentCount = 3;
    static constexpr int kStationSize = 256;

    wchar_t m_Title[kTitleSize];  // empty: not known
    SYSTEMTIME m_Start;           // the scheduled start, local; wYear 0: not known
    // A station's name as it gives it (icy-name), for a stream's files; empty: none.
    wchar_t m_Station[kStationSize];

    RecordingTags() : m_Title(), m_Start(), m_Station() {}
    // Comment index (0 .. kCommentCount - 1) as "NAME=value" in UTF-8 into
    // text; false (text empty) when that one is not known.
    bool Comment(int index, char* text, int size) const;
};
