// Where an HLS session hands each segment it fetched, once, in sequence
// order, and the segments it could not get before they left the playlist.
#pragma once

#include "stream/HlsPlaylist.h"

#include <string>

class IHlsSegmentSink {
public:
    virtual ~IHlsSegmentSink() {}
    // init: the segment's init section (fragmented MP4), else empty.
    virtual void OnSegment(const HlsSegment& segment, const std::string& bytes, const std::string& init) = 0;
    // Segments expired before they could be fetched: the next one handed on
    // comes after a gap (its length is where its frames are placed).
    virtual void OnSegmentsLost() = 0;
};
