// What the first bytes of a station's answer are, by the bytes and never by
// the Content-Type a server claims: a stream of MP3, ADTS AAC or Ogg, a
// playlist that leads to one, an HLS playlist, or a web page.
#pragma once

#include <cstddef>

enum StreamKind { kKindUnknown, kKindMp3, kKindAac, kKindOgg, kKindHtml, kKindHls, kKindPls, kKindM3u };

struct StreamSniff {
    // Bytes looked through for a first frame before the answer is no stream.
    static constexpr size_t kSearchBytes = 65536;

    StreamKind kind = kKindUnknown;
    size_t start = 0;       // where the first frame (or the text) begins
    bool needMore = false;  // too few bytes to tell yet: call again with more

    // final: no more bytes will come (the answer ended).
    static StreamSniff Of(const unsigned char* p, size_t size, bool final);
    // The size of an ID3v2 tag at p (header, footer and all), 0 when none.
    static size_t Id3Size(const unsigned char* p, size_t size);
    // A name for the kind in traces and texts ("MP3", "AAC", "Ogg", ...).
    static const wchar_t* Name(StreamKind kind);
};
