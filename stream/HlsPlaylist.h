// An HLS playlist (RFC 8216) as a station serves it: a master playlist's
// variants, or a media playlist's segments with their sequence numbers,
// durations, the broadcaster's clock (#EXT-X-PROGRAM-DATE-TIME, carried on
// from segment to segment by their durations), discontinuities, the init
// section of fragmented MP4 and whether the segments are encrypted.
// Addresses come out whole, resolved against the playlist's own address.
#pragma once

#include <string>
#include <vector>

struct HlsVariant {
    std::wstring address;
    unsigned long long bandwidth = 0;
    std::string codecs;  // as listed; empty when the master does not say
    // AAC or MP3 alone (or nothing said): this program records it.
    bool Recordable() const;
    // "AAC", "HE-AAC", "HE-AAC v2", "MP3" from the codecs listed; "" when not said.
    const wchar_t* CodecName() const;
};

struct HlsSegment {
    long long sequence = 0;
    double seconds = 0;
    std::wstring address;
    std::wstring map;        // the init section (#EXT-X-MAP) it needs, if any
    long long onAir = 0;     // the broadcaster's clock: UTC, 100-ns units; 0 when not known
    bool discontinuity = false;  // the timestamps start afresh here
};

class CHlsPlaylist {
public:
    // Playlists bigger than this are no playlists.
    static constexpr size_t kMaxBytes = 1 << 20;

    // False when text is no HLS playlist.
    bool Parse(const std::string& text, const std::wstring& base);

    bool master = false;
    std::vector<HlsVariant> variants;  // a master's, as listed
    double targetSeconds = 0;
    long long mediaSequence = 0;
    std::vector<HlsSegment> segments;
    bool ended = false;      // #EXT-X-ENDLIST: no more segments will come
    bool encrypted = false;  // an #EXT-X-KEY other than METHOD=NONE

    // The recordable variant with the highest bandwidth; null when none.
    const HlsVariant* Best() const;
    // The recordable variant of the bandwidth a program chose (0: Best).
    // One the master no longer lists gives way to the nearest in bandwidth
    // (the higher of two as near), so a station that changed its ladder
    // still records.
    const HlsVariant* Pick(unsigned long long bandwidth) const;
    // "2026-12-10T03:12:04.123Z" or with an offset ("+09:00"): UTC ticks, 0 when not one.
    static long long ParseDateTime(const std::string& text);
};
