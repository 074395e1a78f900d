#include "stream/StationReader.h"

#include "foundation/DateTime.h"
#include "foundation/Trace.h"
#include "stream/SegmentDemuxer.h"

#include <climits>
#include <new>

namespace {

// The wall clock (UTC, 100-ns units) less the counter: frames are placed on
// the counter and handed on on the wall clock as it reads then, so a step
// of the clock moves the frames after it, as it moves the programs' cuts.
long long WallLessCounter()
{
    return PreciseUtcNow() - CounterNow();
}

long long FrameTicks(const StreamFrame& frame)
{
    return frame.rate ? static_cast<long long>(frame.samples) * 10000000LL / frame.rate : 0;
}

}  // namespace

CStationReader::CStationReader(const wchar_t* address, CStationListener* listener, unsigned long long variant)
    : m_Address(address ? address : L""), m_Variant(variant), m_pListener(listener), m_hThread(nullptr),
      m_hQuit(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_bQuit(0), m_pConnection(nullptr), m_LastFormat(),
      m_bHandedOn(false), m_LastEnd(0), m_bBroken(false), m_bMended(false), m_HlsKind(kKindUnknown),
      m_bHlsFrames(false)
{
    InitializeCriticalSection(&m_Lock);
}

CStationReader::~CStationReader()
{
    Stop();
    if (m_hQuit)
        CloseHandle(m_hQuit);
    DeleteCriticalSection(&m_Lock);
}

bool CStationReader::Start()
{
    if (m_hThread)
        return true;
    if (!m_hQuit)
        return false;
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return m_hThread != nullptr;
}

void CStationReader::Finish()
{
    InterlockedExchange(&m_bQuit, 1);
    SetEvent(m_hQuit);
    EnterCriticalSection(&m_Lock);
    if (m_pConnection)
        m_pConnection->Abort();
    if (m_pHls)
        m_pHls->Abort();
    LeaveCriticalSection(&m_Lock);
}

void CStationReader::Stop()
{
    if (!m_hThread)
        return;
    Finish();
    WaitForSingleObject(m_hThread, INFINITE);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

DWORD WINAPI CStationReader::ThreadProc(void* param)
{
    static_cast<CStationReader*>(param)->Run();
    return 0;
}

unsigned long long CStationReader::Hash(const unsigned char* p, size_t size)
{
    unsigned long long hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ p[i]) * 0x100000001b3ULL;
    return hash;
}

void CStationReader::Run()
{
    size_t retry = 0;
    while (!m_bQuit) {
        if (m_pHls) {
            StationFailure failure = kFailNone;
            bool delivered = FollowHls(failure);
            if (m_bQuit)
                break;
            Trace(L"[CStationReader] %s: %s\n", m_Address.c_str(), StationFailureText(failure, 0, false).c_str());
            m_pListener->OnStationFailed(*this, failure, 0, delivered);
            if (delivered)
                retry = 0;
            WaitForSingleObject(m_hQuit, kRetryMs[retry < 4 ? retry : 4]);
            ++retry;
            continue;
        }
        CStationConnection* connection = new (std::nothrow) CStationConnection();
        bool delivered = false, opened = false;
        if (connection) {
            EnterCriticalSection(&m_Lock);
            m_pConnection = connection;
            LeaveCriticalSection(&m_Lock);
            if (m_bQuit)
                connection->Abort();
            opened = connection->Open(m_Address.c_str());
            if (!opened && connection->Failure() == kFailHls) {
                // Followed as HLS from now on, by its playlists.
                CHlsSession* session = new (std::nothrow) CHlsSession(m_Address, m_Variant);
                EnterCriticalSection(&m_Lock);
                m_pConnection = nullptr;
                m_pHls.reset(session);
                if (m_bQuit && session)
                    session->Abort();
                LeaveCriticalSection(&m_Lock);
                delete connection;
                if (session)
                    continue;
                connection = nullptr;
            } else if (opened) {
                Trace(L"[CStationReader] %s answered: %s\n", m_Address.c_str(), StreamSniff::Name(connection->Info().kind));
                m_pListener->OnStationConnected(*this, connection->Info());
                delivered = Receive(*connection);
            }
            EnterCriticalSection(&m_Lock);
            m_pConnection = nullptr;
            LeaveCriticalSection(&m_Lock);
        }
        if (m_bQuit) {
            delete connection;
            break;
        }
        // A connection that brought audio starts the waits afresh.
        if (delivered)
            retry = 0;
        if (connection) {
            Trace(L"[CStationReader] %s: %s\n", m_Address.c_str(), connection->Reason(false).c_str());
            m_pListener->OnStationFailed(*this, connection->Failure(), connection->Status(), opened);
        }
        delete connection;
        if (m_bHandedOn)
            m_bBroken = true;
        WaitForSingleObject(m_hQuit, kRetryMs[retry < 4 ? retry : 4]);
        ++retry;
    }
}

void CStationReader::Arrival::Begin(long long now)
{
    *this = Arrival();
    connected = moved = now;
    estimate = LLONG_MAX;
}

void CStationReader::Arrive(Arrival& arrival, Held&& one)
{
    long long now = CounterNow();
    if (now - arrival.at < arrival.estimate - kJitterTicks)
        arrival.moved = now;
    if (now - arrival.at < arrival.estimate)
        arrival.estimate = now - arrival.at;
    one.at = arrival.at;
    arrival.at += FrameTicks(one.frame);
    if (arrival.settled)
        HandOn(one, arrival.estimate);
    else
        arrival.held.push_back(std::move(one));
    SettleWhenOver(arrival, false);
}

void CStationReader::SettleWhenOver(Arrival& arrival, bool ended)
{
    long long now = CounterNow();
    bool over = ended || (!arrival.held.empty() && (now - arrival.moved >= kSettleTicks ||
                                                     now - arrival.connected >= kSettleMaxTicks));
    if (arrival.settled || !over)
        return;
    arrival.settled = true;
    Settle(arrival.held, arrival.estimate);
}

bool CStationReader::Receive(CStationConnection& connection)
{
    CFrameSplitter splitter(connection.Info().kind);
    std::vector<unsigned char> buffer(16384);
    std::vector<StationTitle> titles;
    Arrival arrival;
    arrival.Begin(CounterNow());
    bool any = false;
    std::wstring title;
    bool titled = false;
    size_t got = 0;
    while (!m_bQuit && connection.Read(buffer.data(), buffer.size(), got, titles)) {
        // A title read with these bytes goes with the next frame out.
        if (!titles.empty()) {
            title = titles.back().text;
            titled = true;
            titles.clear();
        }
        splitter.Feed(buffer.data(), got);
        for (StreamFrame frame; splitter.Next(frame);) {
            Held one{std::vector<unsigned char>(frame.data, frame.data + frame.bytes), frame, 0,
                     Hash(frame.data, frame.bytes), title, titled};
            one.frame.data = nullptr;
            titled = false;
            any = true;
            Arrive(arrival, std::move(one));
        }
        // A burst that ends with the bytes: its estimate has stood still since.
        SettleWhenOver(arrival, false);
    }
    // A drop before the burst was over: what came is handed on all the same.
    if (!m_bQuit)
        SettleWhenOver(arrival, true);
    return any;
}

bool CStationReader::FollowHls(StationFailure& failure)
{
    m_bHlsFrames = false;
    if (m_HlsArrival.connected == 0)
        m_HlsArrival.Begin(CounterNow());
    failure = m_pHls->Run(*this, &m_bQuit, m_hQuit);
    // Frames still held when the session failed are handed on all the same.
    if (!m_HlsArrival.held.empty() && !m_bQuit)
        SettleWhenOver(m_HlsArrival, true);
    if (m_bHandedOn && failure != kFailCancelled)
        m_bBroken = true;
    return m_bHlsFrames;
}

void CStationReader::OnSegment(const HlsSegment& segment, const std::string& bytes, const std::string& init)
{
    CSegmentDemuxer demuxer;
    SegmentResult opened = demuxer.Open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                                        init.empty() ? nullptr : reinterpret_cast<const unsigned char*>(init.data()),
                                        init.size());
    if (opened != kSegmentOk) {
        Trace(L"[CStationReader] segment %lld of %s cannot be read (%d): it is lost\n", segment.sequence,
              m_Address.c_str(), static_cast<int>(opened));
        OnSegmentsLost();
        return;
    }
    if (demuxer.Kind() != m_HlsKind) {
        m_HlsKind = demuxer.Kind();
        StationInfo info;
        info.address = m_pHls->Media();
        info.kind = m_HlsKind;
        Trace(L"[CStationReader] %s answered: HLS of %s\n", m_Address.c_str(), StreamSniff::Name(m_HlsKind));
        m_pListener->OnStationConnected(*this, info);
    }
    // On the broadcaster's clock where the playlist gives it: the segment's
    // time plus the frame's from the segment's first.
    StreamFrame frame;
    double seconds = 0, first = -1;
    while (!m_bQuit && demuxer.Next(frame, seconds)) {
        Held one{std::vector<unsigned char>(frame.data, frame.data + frame.bytes), frame, 0,
                 Hash(frame.data, frame.bytes), std::wstring(), false};
        one.frame.data = nullptr;
        m_bHlsFrames = true;
        if (first < 0)
            first = seconds;
        if (segment.onAir) {
            one.at = segment.onAir + static_cast<long long>((seconds - first) * 1e7 + 0.5) - WallLessCounter();
            HandOn(one, 0);
        } else {
            Arrive(m_HlsArrival, std::move(one));
        }
    }
}

void CStationReader::OnSegmentsLost()
{
    // Told with the frames after the gap, by where they are placed.
    if (m_bHandedOn)
        m_bBroken = true;
}

void CStationReader::Settle(std::vector<Held>& held, long long estimate)
{
    // The new burst goes on from the last frame handed on: find the longest
    // run of the last frames handed on that either ends the burst's first
    // frames or is all of them, and pass over what it covers.
    size_t from = 0;
    bool found = false;
    std::vector<size_t> audio;
    for (size_t i = 0; i < held.size(); ++i)
        if (!held[i].frame.header)
            audio.push_back(i);
    for (size_t t = 0; !found && t < m_Tail.size(); ++t) {
        size_t run = m_Tail.size() - t;
        for (size_t j = 0; !found && j + run <= audio.size(); ++j) {
            if (t > 0 && j > 0)
                break;  // a part of the tail only matches where the burst begins
            bool same = true;
            for (size_t k = 0; same && k < run; ++k)
                same = held[audio[j + k]].hash == m_Tail[t + k];
            if (same) {
                found = true;
                from = audio[j + run - 1] + 1;
            }
        }
    }
    if (found)
        Trace(L"[CStationReader] %s: the new burst goes on from the last frame recorded\n", m_Address.c_str());
    else if (m_bHandedOn && !m_Tail.empty())
        Trace(L"[CStationReader] %s: the new burst does not reach back to the last frame recorded\n", m_Address.c_str());
    // A title passed over with its frame still holds for the frames after.
    std::wstring title;
    bool titled = false;
    for (size_t i = 0; i < from; ++i)
        if (held[i].titled) {
            title = held[i].title;
            titled = true;
        }
    for (size_t i = from; i < held.size(); ++i) {
        Held& one = held[i];
        // The same headers again: the stream goes on as it was.
        if (one.frame.header) {
            bool known = false;
            for (unsigned long long h : m_Headers)
                known = known || h == one.hash;
            if (known)
                continue;
        }
        if (titled && !one.titled) {
            one.title = title;
            one.titled = true;
        }
        titled = false;
        m_bMended = found;
        HandOn(one, estimate);
    }
    held.clear();
}

void CStationReader::HandOn(Held& one, long long estimate)
{
    StreamFrame& frame = one.frame;
    frame.data = one.bytes.data();
    // A new connection's first frame is a new format only when it is one.
    if (frame.newFormat && m_bHandedOn && frame.rate == m_LastFormat.rate &&
        frame.channels == m_LastFormat.channels && frame.codec == m_LastFormat.codec)
        frame.newFormat = false;
    if (frame.header) {
        if (frame.newFormat || m_Headers.size() > 64)
            m_Headers.clear();
        m_Headers.push_back(one.hash);
    } else {
        m_Tail.push_back(one.hash);
        if (m_Tail.size() > kTail)
            m_Tail.erase(m_Tail.begin());
    }
    if (frame.samples || frame.newFormat) {
        m_LastFormat = frame;
        m_LastFormat.data = nullptr;
    }
    long long ticks = FrameTicks(frame);
    long long live = estimate + one.at + WallLessCounter();
    if (m_bBroken && !frame.header) {
        long long lost = m_bMended ? 0 : live - m_LastEnd;
        Trace(L"[CStationReader] %s: frames again after the drop, %lld ms lost\n", m_Address.c_str(),
              (lost > 0 ? lost : 0) / 10000);
        m_pListener->OnStationBack(*this, m_LastEnd, lost > 0 ? lost : 0);
        m_bBroken = m_bMended = false;
    }
    m_pListener->OnStationFrame(*this, frame, live, ticks, one.titled ? one.title.c_str() : nullptr);
    if (!frame.header) {
        m_bHandedOn = true;
        m_LastEnd = live + ticks;
        m_bBroken = false;
    }
}
