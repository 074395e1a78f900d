#include "stream/StationConnection.h"

#include "foundation/Trace.h"
#include "stream/Playlist.h"

#include <cstring>

bool CStationConnection::s_bSocketAlways = false;
DWORD CStationConnection::s_StallMs = CStationConnection::kStallMs;

CStationConnection::CStationConnection() : m_Failure(kFailNone), m_PendingAt(0), m_Delivered(0) {}

CStationConnection::~CStationConnection()
{
    Close();
}

void CStationConnection::Close()
{
    m_Line.HangUp();
    m_Pending.clear();
    m_PendingAt = 0;
    m_Titles.clear();
}

void CStationConnection::Abort()
{
    m_Line.Abort();
}

bool CStationConnection::Fail(StationFailure failure)
{
    m_Failure = m_Line.Aborted() ? kFailCancelled : failure;
    return false;
}

bool CStationConnection::Connect(const std::wstring& address, DWORD connectMs)
{
    StationAddress parsed;
    if (!parsed.Parse(address))
        return Fail(kFailBadAddress);
    Close();
    StationFailure failure = m_Line.Dial(parsed, connectMs, s_StallMs, s_bSocketAlways, m_Info.answer);
    m_Info.socketPath = m_Line.Socket();
    m_Info.address = m_Line.Url();
    if (failure == kFailNone)
        return true;
    Trace(L"[CStationConnection] %s: %s\n", address.c_str(), StationFailureText(failure, 0, false).c_str());
    return Fail(failure);
}

StationFailure CStationConnection::More(size_t have)
{
    unsigned char piece[16384];
    while (m_Pending.size() - m_PendingAt <= have) {
        size_t got = 0;
        StationFailure failure = m_Line.Transport()->Receive(piece, sizeof(piece), got);
        if (failure != kFailNone)
            return m_Line.Aborted() ? kFailCancelled : failure;
        got = m_Metadata.Strip(piece, got, m_Titles);
        m_Pending.insert(m_Pending.end(), piece, piece + got);
    }
    return kFailNone;
}

bool CStationConnection::Open(const wchar_t* typed, DWORD connectMs)
{
    if (Reach(typed, connectMs))
        return true;
    // A page or a refusal is not read on as if it were a stream.
    Close();
    return false;
}

bool CStationConnection::Reach(const wchar_t* typed, DWORD connectMs)
{
    m_Failure = kFailNone;
    m_Info = StationInfo();
    m_Delivered = 0;
    std::wstring address = typed ? typed : L"";
    for (int hop = 0;; ++hop) {
        if (hop > kMaxHops)
            return Fail(kFailTooManyHops);
        if (!Connect(address, connectMs))
            return false;
        const StationAnswer& answer = m_Info.answer;
        if (answer.status >= 300 && answer.status < 400 && !answer.location.empty()) {
            // Only the socket path gets here; WinHTTP follows them itself.
            std::wstring next = StationAddress::Resolve(m_Info.address, answer.location);
            if (!StationAddress::RedirectAllowed(m_Info.address, next))
                return Fail(kFailInsecureRedirect);
            address = next;
            continue;
        }
        if (answer.status != 200)
            return Fail(kFailStatus);
        m_Metadata.Reset(answer.metaint);
        m_Pending.clear();
        m_PendingAt = 0;
        m_Titles.clear();
        StreamSniff sniff;
        bool ended = false;
        for (;;) {
            // A tag that claims megabytes is not waited for.
            sniff = StreamSniff::Of(m_Pending.data(), m_Pending.size(), ended || m_Pending.size() >= kMaxSniff);
            if (!sniff.needMore)
                break;
            StationFailure failure = More(m_Pending.size());
            if (failure == kFailEnded)
                ended = true;
            else if (failure != kFailNone)
                return Fail(failure);
        }
        bool text = sniff.kind == kKindUnknown && CPlaylist::NamedLikeOne(m_Info.address) &&
                    m_Pending.size() < CPlaylist::kMaxBytes;
        if (sniff.kind == kKindPls || sniff.kind == kKindM3u || text) {
            // The whole playlist, up to its end or its bound.
            while (!ended && m_Pending.size() < CPlaylist::kMaxBytes) {
                StationFailure failure = More(m_Pending.size());
                if (failure == kFailEnded)
                    ended = true;
                else if (failure != kFailNone)
                    return Fail(failure);
            }
            std::wstring next = CPlaylist::FirstAddress(reinterpret_cast<const char*>(m_Pending.data()),
                                                        m_Pending.size(), sniff.kind == kKindPls, m_Info.address);
            if (next.empty())
                return Fail(kFailEmptyPlaylist);
            Trace(L"[CStationConnection] the playlist %s leads to %s\n", m_Info.address.c_str(), next.c_str());
            address = next;
            continue;
        }
        m_Info.kind = sniff.kind;
        if (sniff.kind == kKindHtml)
            return Fail(kFailHtml);
        if (sniff.kind == kKindHls)
            return Fail(kFailHls);
        if (sniff.kind != kKindMp3 && sniff.kind != kKindAac && sniff.kind != kKindOgg)
            return Fail(kFailUnknownFormat);
        if (ended && m_Pending.empty())
            return Fail(kFailEnded);
        return true;
    }
}

bool CStationConnection::Read(unsigned char* buffer, size_t size, size_t& got, std::vector<StationTitle>& titles)
{
    got = 0;
    if (!m_Line.Transport())
        return Fail(m_Failure == kFailNone ? kFailEnded : m_Failure);
    if (m_PendingAt == m_Pending.size()) {
        m_Pending.clear();
        m_PendingAt = 0;
        // A piece may be all metadata: wait for audio.
        StationFailure failure = More(0);
        if (failure != kFailNone) {
            titles.insert(titles.end(), m_Titles.begin(), m_Titles.end());
            m_Titles.clear();
            return Fail(failure);
        }
    }
    got = m_Pending.size() - m_PendingAt < size ? m_Pending.size() - m_PendingAt : size;
    memcpy(buffer, m_Pending.data() + m_PendingAt, got);
    m_PendingAt += got;
    m_Delivered += got;
    titles.insert(titles.end(), m_Titles.begin(), m_Titles.end());
    m_Titles.clear();
    return true;
}
