// One station's stream, kept for as long as its programs record: a thread
// of its own connects (again after every drop or refusal, waiting 1, 2, 5,
// 10, then 30 s, until Stop), cuts the bytes into whole frames, places each
// on the wall clock where it went live, and hands every frame on once.
//
// A connection's first frames are the station's burst, sent at once but
// gone live before the connection. A frame cannot arrive before it went
// live, so with p its place in the connection's audio and a its arrival,
// the connection went live at min(a - p) at the latest: each frame is
// placed there plus its p. The first frames are held until that estimate
// stops moving (the burst is over). After a drop, the part of the new burst
// already handed on is found by its bytes and passed over; the rest fills
// the break.
//
// An HLS station (the address answers with an HLS playlist) is followed by
// a CHlsSession instead, each segment's frames taken out by CSegmentDemuxer.
// Where the playlist gives the broadcaster's clock, a frame is placed on it;
// else by its arrival, as above. The sequence numbers keep every segment to
// one fetch, across reloads and failures.
#pragma once

#include "frames/FrameSplitter.h"
#include "stream/HlsSegmentSink.h"
#include "stream/HlsSession.h"
#include "stream/StationConnection.h"
#include "stream/StationListener.h"

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

class CStationReader : private IHlsSegmentSink {
public:
    static constexpr DWORD kRetryMs[] = {1000, 2000, 5000, 10000, 30000};
    // The burst is over once the estimate has not moved earlier by more
    // than kJitterTicks for kSettleTicks, or at the latest kSettleMaxTicks
    // after the connection answered.
    static constexpr long long kSettleTicks = 10000000LL;
    static constexpr long long kJitterTicks = 200000LL;
    static constexpr long long kSettleMaxTicks = 150000000LL;
    // The last frames handed on, looked for in a new burst.
    static constexpr size_t kTail = 32;

    // variant: an HLS station's variant as the program chose it (its bandwidth; 0: the best).
    CStationReader(const wchar_t* address, CStationListener* listener, unsigned long long variant = 0);
    ~CStationReader();
    CStationReader(const CStationReader&) = delete;
    CStationReader& operator=(const CStationReader&) = delete;

    // The thread starts connecting; false when it cannot be made.
    bool Start();
    // Ends the connection and the thread (never from the listener's calls).
    void Stop();
    // The thread ends soon, not waited for: from any thread, the listener's calls too.
    void Finish();
    const std::wstring& Address() const { return m_Address; }
    unsigned long long Variant() const { return m_Variant; }

private:
    struct Held {
        std::vector<unsigned char> bytes;
        StreamFrame frame;
        long long at;  // its place in the connection's audio, in ticks
        unsigned long long hash;
        std::wstring title;
        bool titled;
    };

    // Where a connection's (or an HLS session's) frames are placed by their arrival.
    struct Arrival {
        long long connected = 0, estimate = 0, moved = 0, at = 0;
        bool settled = false;
        std::vector<Held> held;
        void Begin(long long now);
    };

    static DWORD WINAPI ThreadProc(void* param);
    void Run();
    // One connection's frames until it drops; true when any came.
    bool Receive(CStationConnection& connection);
    // An HLS station's segments until a failure; true when any frame came.
    bool FollowHls(StationFailure& failure);
    void OnSegment(const HlsSegment& segment, const std::string& bytes, const std::string& init) override;
    void OnSegmentsLost() override;
    // One frame placed by its arrival: held until the burst is over, then handed on.
    void Arrive(Arrival& arrival, Held&& one);
    // Hands the held frames on once the burst is over, or the connection ended.
    void SettleWhenOver(Arrival& arrival, bool ended);
    // The held frames with what was handed on already passed over, once the burst is over.
    void Settle(std::vector<Held>& held, long long estimate);
    void HandOn(Held& frame, long long estimate);
    static unsigned long long Hash(const unsigned char* p, size_t size);

    const std::wstring m_Address;
    const unsigned long long m_Variant;
    CStationListener* const m_pListener;
    HANDLE m_hThread;
    HANDLE m_hQuit;  // set by Stop: the retry wait ends
    volatile LONG m_bQuit;
    CRITICAL_SECTION m_Lock;  // m_pConnection against Stop's Abort
    CStationConnection* m_pConnection;
    std::unique_ptr<CHlsSession> m_pHls;  // an HLS station's, once its playlist answered (the pointer under m_Lock)

    // The thread's own: what was handed on last, and the Ogg header pages
    // handed on (a reconnect's same headers are passed over).
    std::vector<unsigned long long> m_Tail;
    std::vector<unsigned long long> m_Headers;
    StreamFrame m_LastFormat;
    bool m_bHandedOn;
    long long m_LastEnd;    // wall clock: where the last frame handed on ended
    bool m_bBroken;         // a drop since the last frame handed on
    bool m_bMended;         // the new burst went on from the last frame: nothing lost
    // An HLS station's: the kind its segments carry, where frames without
    // the broadcaster's clock are placed, whether a frame came in this Run.
    StreamKind m_HlsKind;
    Arrival m_HlsArrival;
    bool m_bHlsFrames;
};
