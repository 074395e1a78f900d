// A station's HLS playlist followed for as long as its reader runs: the
// variant to record from a master playlist, the media playlist reloaded
// about every target duration, each new segment fetched once in sequence
// order (one that fails is asked again at the next reload, until it leaves
// the playlist: then it is lost, counted exactly by the sequence numbers).
// An address that expired (403, 404, 410 on a reload: a token) starts again
// from the address as typed. The place in the stream outlives a failed
// Run, so a new Run after the reader's wait fetches nothing twice.
#pragma once

#include "stream/HlsPlaylist.h"
#include "stream/HlsSegmentSink.h"
#include "stream/StationFailure.h"
#include "stream/StationFetch.h"

#include <windows.h>
#include <string>

class CHlsSession {
public:
    static constexpr size_t kMaxSegmentBytes = 16 << 20;
    // A segment's fetches in a row before the next reload, and the pause between.
    static constexpr int kSegmentTries = 3;
    static constexpr DWORD kRetryPauseMs = 500;

    // variant: the bandwidth of the variant the program chose (0: the best).
    explicit CHlsSession(const std::wstring& typed, unsigned long long variant = 0);
    CHlsSession(const CHlsSession&) = delete;
    CHlsSession& operator=(const CHlsSession&) = delete;

    // Follows the playlist until quit is set (kFailCancelled) or a failure:
    // a fetch's (temporary: call again after a wait), or kFailHlsEncrypted,
    // kFailHlsNoVariant (the user must choose another station).
    StationFailure Run(IHlsSegmentSink& sink, volatile LONG* quit, HANDLE quitEvent);
    // From any thread: a waiting fetch returns at once.
    void Abort();
    // The media playlist followed (empty before the first Run found it).
    const std::wstring& Media() const { return m_Media; }

private:
    StationFailure Fetch(const std::wstring& address, size_t maxBytes, std::string& body, std::wstring* url = nullptr,
                         unsigned* status = nullptr);

    const std::wstring m_Typed;
    const unsigned long long m_Variant;
    std::wstring m_Media;
    long long m_Next;  // the next segment to fetch; -1: the oldest in the first playlist
    std::wstring m_InitAddress;
    std::string m_Init;
    CStationFetch m_Fetch;  // one fetch at a time; its Abort holds for every one after
};
