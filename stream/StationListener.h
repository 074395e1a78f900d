// How a station's reader (stream/) reaches the recorder above it: every
// frame once, in order, placed on the wall clock, and the turns of its
// connection. Called on the reader's thread; from: the reader calling.
#pragma once

#include "frames/StreamFrame.h"
#include "stream/StationConnection.h"

class CStationReader;

class CStationListener {
public:
    virtual ~CStationListener() {}
    // A connection answered: the stream's kind, its name, where it came from.
    virtual void OnStationConnected(const CStationReader& from, const StationInfo& info) = 0;
    // No connection, or the one there was dropped; a retry follows after the
    // wait. status: the HTTP status, where there was one.
    virtual void OnStationFailed(const CStationReader& from, StationFailure failure, unsigned status, bool dropped) = 0;
    // One whole frame or Ogg page. live: where it went live on the wall
    // clock (UTC, 100-ns units); ticks: its duration. title: the station's
    // title from this frame on, when it changed (else null).
    virtual void OnStationFrame(const CStationReader& from, const StreamFrame& frame, long long live, long long ticks,
                                const wchar_t* title) = 0;
    // Frames again after a drop: the last frame before it ended at brokeAt
    // (wall clock), and lost ticks went live that no connection delivered.
    virtual void OnStationBack(const CStationReader& from, long long brokeAt, long long lost) = 0;
};
