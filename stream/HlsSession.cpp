#include "stream/HlsSession.h"

#include "foundation/Trace.h"

CHlsSession::CHlsSession(const std::wstring& typed, unsigned long long variant)
    : m_Typed(typed), m_Variant(variant), m_Next(-1)
{
}

void CHlsSession::Abort()
{
    m_Fetch.Abort();
}

StationFailure CHlsSession::Fetch(const std::wstring& address, size_t maxBytes, std::string& body, std::wstring* url,
                                  unsigned* status)
{
    StationFailure failure = m_Fetch.Get(address, maxBytes, body);
    if (url)
        *url = m_Fetch.Url().empty() ? address : m_Fetch.Url();
    if (status)
        *status = m_Fetch.Status();
    return m_Fetch.Aborted() ? kFailCancelled : failure;
}

StationFailure CHlsSession::Run(IHlsSegmentSink& sink, volatile LONG* quit, HANDLE quitEvent)
{
    bool fresh = false;  // the media address came from the typed one in this round
    while (!*quit && !m_Fetch.Aborted()) {
        std::string text;
        std::wstring url;
        unsigned status = 0;
        CHlsPlaylist list;
        if (m_Media.empty()) {
            StationFailure failure = Fetch(m_Typed, CHlsPlaylist::kMaxBytes, text, &url);
            if (failure != kFailNone)
                return failure;
            if (!list.Parse(text, url))
                return kFailUnknownFormat;
            if (list.master) {
                const HlsVariant* chosen = list.Pick(m_Variant);
                if (!chosen)
                    return kFailHlsNoVariant;
                if (m_Variant && chosen->bandwidth != m_Variant)
                    Trace(L"[CHlsSession] %s: the variant of %llu bit/s chosen is not listed now\n", m_Typed.c_str(),
                          m_Variant);
                Trace(L"[CHlsSession] %s: the variant of %llu bit/s, %s\n", m_Typed.c_str(), chosen->bandwidth,
                      chosen->address.c_str());
                m_Media = chosen->address;
                fresh = true;
                continue;
            }
            m_Media = url;
            fresh = true;
        } else {
            StationFailure failure = Fetch(m_Media, CHlsPlaylist::kMaxBytes, text, &url, &status);
            // An address that expired (a token) is asked for anew, once a round.
            if (failure == kFailStatus && !fresh && (status == 403 || status == 404 || status == 410)) {
                Trace(L"[CHlsSession] %s answered %u: asking %s again\n", m_Media.c_str(), status, m_Typed.c_str());
                m_Media.clear();
                continue;
            }
            if (failure != kFailNone)
                return failure;
            if (!list.Parse(text, url))
                return kFailUnknownFormat;
            fresh = false;
        }
        if (list.encrypted)
            return kFailHlsEncrypted;
        // The first time from the oldest segment the playlist still holds: a
        // late start takes what the window kept.
        if (m_Next < 0)
            m_Next = list.segments.empty() ? list.mediaSequence : list.segments.front().sequence;
        if (!list.segments.empty() && list.segments.front().sequence > m_Next) {
            Trace(L"[CHlsSession] segments %lld to %lld left the playlist before they could be fetched\n", m_Next,
                  list.segments.front().sequence - 1);
            sink.OnSegmentsLost();
            m_Next = list.segments.front().sequence;
        }
        bool any = false;
        for (const HlsSegment& segment : list.segments) {
            if (*quit || m_Fetch.Aborted())
                return kFailCancelled;
            if (segment.sequence < m_Next)
                continue;
            if (!segment.map.empty() && segment.map != m_InitAddress) {
                std::string init;
                if (Fetch(segment.map, kMaxSegmentBytes, init) != kFailNone)
                    break;  // asked again at the next reload
                m_Init.swap(init);
                m_InitAddress = segment.map;
            }
            // A refusal or a drop is asked again at once, a few times, and
            // then at the next reload, while the playlist holds the segment.
            std::string bytes;
            StationFailure failure = kFailNone;
            for (int attempt = 0; attempt < kSegmentTries; ++attempt) {
                if (attempt && WaitForSingleObject(quitEvent, kRetryPauseMs) == WAIT_OBJECT_0)
                    return kFailCancelled;
                failure = Fetch(segment.address, kMaxSegmentBytes, bytes);
                if (failure == kFailNone || failure == kFailCancelled)
                    break;
            }
            if (failure == kFailCancelled)
                return failure;
            if (failure != kFailNone)
                break;  // asked again at the next reload, while the playlist holds it
            sink.OnSegment(segment, bytes, segment.map.empty() ? std::string() : m_Init);
            m_Next = segment.sequence + 1;
            any = true;
        }
        if (list.ended && !list.segments.empty() && m_Next > list.segments.back().sequence)
            return kFailEnded;
        // Reloaded every target duration, sooner while nothing new came.
        double wait = list.targetSeconds > 0 ? list.targetSeconds : 2.0;
        DWORD ms = static_cast<DWORD>((any ? wait : wait / 2) * 1000);
        WaitForSingleObject(quitEvent, ms < 500 ? 500 : ms);
    }
    return kFailCancelled;
}
