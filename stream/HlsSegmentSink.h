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
    // count segments from first on expired before they could be fetched: seconds of the station lost.
    virtual void OnSegmentsLost(long long first, long long count, double seconds) = 0;
};
