// The Try button's question: what does this station send? Connects to the
// address as typed (a stream, or a playlist that leads to one), reads the
// start of what comes, and says it in one line of the interface language,
// for example "MP3 · 128 kbit/s · 44.1 kHz stereo · Test Station", or why
// it could not, in plain words.
#pragma once

#include "stream/HlsPlaylist.h"

#include <windows.h>
#include <vector>

class CStationProbe {
public:
    // Try shows its answer within this time.
    static constexpr DWORD kTimeoutMs = 10000;

    // Blocks for up to kTimeoutMs, so a dialog calls it on a thread of its
    // own; setting *cancel (may be null) ends it early. True when the
    // station sends something Marivane can record; text receives the line
    // either way (count characters with the terminator). An HLS station's
    // line describes the variant of that bandwidth (0: the best, as
    // CHlsPlaylist::Pick chooses), and offered (may be null) receives the
    // variants it can record, as the master lists them.
    static bool Describe(const wchar_t* address, bool japanese, wchar_t* text, int count,
                         volatile LONG* cancel = nullptr, unsigned long long variant = 0,
                         std::vector<HlsVariant>* offered = nullptr);
};
