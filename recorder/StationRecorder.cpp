#include "recorder/StationRecorder.h"

#include "config/UiLanguage.h"
#include "foundation/Format.h"
#include "foundation/RecordingNotice.h"
#include "foundation/Trace.h"

#include <new>

namespace {

long long WallNow()
{
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<long long>((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

// hh:mm:ss of a wall-clock moment in the user's zone.
void LocalClock(long long utc, wchar_t* text, int size)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(utc);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<unsigned long long>(utc) >> 32);
    SYSTEMTIME system, local;
    if (!FileTimeToSystemTime(&ft, &system) || !SystemTimeToTzSpecificLocalTime(nullptr, &system, &local))
        local = SYSTEMTIME();
    FormatText(text, size, L"%02u:%02u:%02u", local.wHour, local.wMinute, local.wSecond);
}

}  // namespace

CStationRecorder::CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd, volatile LONG* quit)
    : m_pLock(cutLock), m_hNoticeWnd(noticeWnd), m_pQuit(quit), m_hFrame(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_Live(0),
      m_pWriter(nullptr), m_bActive(false), m_bBegun(false), m_bNext(false)
{
}

CStationRecorder::~CStationRecorder()
{
    StopFeed(m_Feeds[1 - m_Live]);
    Close(0);
    StopFeed(m_Feeds[m_Live]);
    if (m_hFrame)
        CloseHandle(m_hFrame);
}

CStationReader* CStationRecorder::NewReader(const wchar_t* address)
{
    return new (std::nothrow) CStationReader(address, this);
}

bool CStationRecorder::Recording()
{
    EnterCriticalSection(m_pLock);
    bool active = m_bActive;
    LeaveCriticalSection(m_pLock);
    return active;
}

bool CStationRecorder::Connected()
{
    EnterCriticalSection(m_pLock);
    bool connected = m_Feeds[0].reader || m_Feeds[1].reader;
    LeaveCriticalSection(m_pLock);
    return connected;
}

CStationRecorder::Feed* CStationRecorder::FeedOf(const CStationReader& from)
{
    for (Feed& feed : m_Feeds)
        if (feed.reader.get() == &from)
            return &feed;
    return nullptr;
}

void CStationRecorder::StopFeed(Feed& feed)
{
    EnterCriticalSection(m_pLock);
    std::unique_ptr<CStationReader> reader(feed.reader.release());
    LeaveCriticalSection(m_pLock);
    // Its last calls find no feed: nothing of it counts any more.
    if (reader)
        reader->Stop();
}

void CStationRecorder::StartFeed(Feed& feed, const wchar_t* address)
{
    StopFeed(feed);
    CStationReader* reader = NewReader(address);
    EnterCriticalSection(m_pLock);
    feed = Feed();
    feed.reader.reset(reader);
    LeaveCriticalSection(m_pLock);
    if (reader && !reader->Start()) {
        StopFeed(feed);
        reader = nullptr;
    }
    Trace(reader ? L"[CStationRecorder] connecting to %s\n" : L"[CStationRecorder] no reader for %s\n", address);
}

void CStationRecorder::Connect(const wchar_t* address)
{
    Feed& live = m_Feeds[m_Live];
    Feed& ahead = m_Feeds[1 - m_Live];
    if (Feeds(live, address))
        return;
    if (Recording()) {
        // Another station records: this one connects beside it, for the next program.
        if (Feeds(ahead, address))
            return;
        Trace(L"[CStationRecorder] %s is set up ahead while %s records\n", address,
              live.reader ? live.reader->Address().c_str() : L"");
        StartFeed(ahead, address);
        return;
    }
    StopFeed(ahead);
    StartFeed(live, address);
}

void CStationRecorder::Start(const RecordingParameters& recording, CWaveWriter* writer)
{
    // A start without its set-up (the set-up's request lost to a hand-over) connects now.
    if (!Feeds(m_Feeds[m_Live], recording.m_Source)) {
        if (Feeds(m_Feeds[1 - m_Live], recording.m_Source) && !Recording()) {
            StopFeed(m_Feeds[m_Live]);
            EnterCriticalSection(m_pLock);
            m_Live = 1 - m_Live;
            LeaveCriticalSection(m_pLock);
        } else {
            Connect(recording.m_Source);
        }
    }
    EnterCriticalSection(m_pLock);
    Feed& live = m_Feeds[m_Live];
    m_pWriter = writer;
    if (m_bActive) {
        // Back to back on this station: the next program takes over at the stop.
        m_Next = recording;
        m_bNext = true;
        LeaveCriticalSection(m_pLock);
        Trace(L"[CStationRecorder] back to back: the next program takes over at the stop\n");
        return;
    }
    m_Current = recording;
    m_bActive = true;
    m_bBegun = false;
    // What went live since the start, before this request came, is the program's.
    std::deque<Kept> early;
    early.swap(live.preRoll);
    for (Kept& kept : early) {
        long long middle = kept.live + kept.ticks / 2;
        if (middle >= m_Current.m_StartAt && (!m_Current.m_StopAt || middle < m_Current.m_StopAt)) {
            kept.frame.data = kept.bytes.data();
            Take(kept.frame, kept.title);
        }
    }
    bool answered = live.answered;
    std::wstring failure = live.failure;
    LeaveCriticalSection(m_pLock);
    if (failure.empty())
        failure = UiIsJapanese() ? L"まだ応答がありません。" : L"No answer yet.";
    if (!answered) {
        std::wstring detail = std::wstring(recording.m_Tags.m_Title) + L"\t" + recording.m_Source + L"\t" + failure;
        Trace(L"[CStationRecorder] the station does not answer at the start: %s\n", failure.c_str());
        Tell(kNoticeStationNoAnswer, detail.c_str());
    }
}

void CStationRecorder::StopAt(long long stopAt)
{
    EnterCriticalSection(m_pLock);
    if (m_bNext)
        m_Next.m_StopAt = stopAt;
    else if (m_bActive)
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::Close(long long stopAt)
{
    long long now = WallNow();
    bool asked = stopAt != 0 && stopAt <= now;
    if (!asked)
        stopAt = now;
    EnterCriticalSection(m_pLock);
    Feed& live = m_Feeds[m_Live];
    bool active = m_bActive;
    if (m_bNext)
        m_Next.m_StopAt = stopAt;
    else if (m_bActive && (!m_Current.m_StopAt || m_Current.m_StopAt > stopAt))
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(m_pLock);
    // The station delivers a little behind, an HLS station on its own clock
    // half a minute and more: wait for the frame that goes past the stop,
    // as far behind as the station's frames come.
    EnterCriticalSection(m_pLock);
    long long behind = live.lastEnd ? now - live.lastEnd : 0;
    LeaveCriticalSection(m_pLock);
    DWORD wait = kStopWaitMs + static_cast<DWORD>(behind <= 0 ? 0 : behind > kMaxBehindTicks ? kMaxBehindTicks / 10000
                                                                                           : behind / 10000);
    for (DWORD start = GetTickCount(); active && asked && GetTickCount() - start < wait;) {
        EnterCriticalSection(m_pLock);
        bool reached = !live.reader || live.lastEnd >= stopAt || !m_bActive || live.dropOpen || (m_pQuit && *m_pQuit);
        LeaveCriticalSection(m_pLock);
        if (reached)
            break;
        WaitForSingleObject(m_hFrame, 50);
    }
    StopFeed(live);
    EnterCriticalSection(m_pLock);
    if (m_bActive && live.dropOpen && m_bBegun)
        TellBreak(live.brokeAt, stopAt - live.brokeAt);
    m_bNext = false;  // a program that never took over ends with the one before
    if (m_bActive)
        EndCurrent();
    live = Feed();
    // The station set up ahead is the next to record.
    if (m_Feeds[1 - m_Live].reader)
        m_Live = 1 - m_Live;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::Tell(WPARAM notice, const wchar_t* detail)
{
    PostRecordingNotice(m_hNoticeWnd, notice, detail);
}

void CStationRecorder::TellBreak(long long brokeAt, long long lost)
{
    wchar_t at[16], gone[24], detail[RecordingTags::kTitleSize + 48];
    LocalClock(brokeAt, at, 16);
    long long seconds = ((lost > 0 ? lost : 0) + 5000000LL) / 10000000LL;
    FormatText(gone, 24, L"%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    FormatText(detail, RecordingTags::kTitleSize + 48, L"%s\t%s\t%s", m_Current.m_Tags.m_Title, at, gone);
    Trace(L"[CStationRecorder] the stream broke at %s; %s lost\n", at, gone);
    Tell(kNoticeStreamBreak, detail);
}

void CStationRecorder::EndCurrent()
{
    if (m_bBegun && m_pWriter) {
        m_pWriter->End();
    } else {
        std::wstring detail = std::wstring(m_Current.m_Tags.m_Title) + L"\t" + m_Current.m_Source;
        Trace(L"[CStationRecorder] nothing was recorded: no frame came from the station\n");
        Tell(kNoticeStationNothing, detail.c_str());
    }
    m_bBegun = false;
    m_bActive = m_bNext;
    if (m_bNext)
        m_Current = m_Next;
    m_bNext = false;
}

void CStationRecorder::Take(const StreamFrame& frame, const std::wstring& title)
{
    if (!m_pWriter)
        return;
    Feed& live = m_Feeds[m_Live];
    if (!m_bBegun) {
        RecordingParameters recording = m_Current;
        lstrcpynW(recording.m_Tags.m_Station, live.name.c_str(), RecordingTags::kStationSize);
        m_pWriter->BeginStream(recording, live.kind);
        m_bBegun = true;
        // Every file of an Ogg stream begins with its header pages.
        for (const std::vector<unsigned char>& page : live.headers) {
            StreamFrame header = StreamFrame();
            header.data = page.data();
            header.bytes = static_cast<unsigned>(page.size());
            header.codec = frame.codec;
            header.header = true;
            header.newFormat = &page == &live.headers.front();
            m_pWriter->AppendFrame(header);
        }
        m_FileTitle.clear();
    }
    if (title != m_FileTitle) {
        m_pWriter->Title(title.c_str());
        m_FileTitle = title;
    }
    if (!frame.header)
        m_pWriter->AppendFrame(frame);
}

void CStationRecorder::Keep(std::deque<Kept>& kept, const StreamFrame& frame, long long live, long long ticks,
                            const std::wstring& title)
{
    while (!kept.empty() && kept.front().live < live - kPreRollTicks)
        kept.pop_front();
    Kept one{std::vector<unsigned char>(frame.data, frame.data + frame.bytes), frame, live, ticks, title};
    one.frame.data = nullptr;
    kept.push_back(std::move(one));
}

void CStationRecorder::OnStationConnected(const CStationReader& from, const StationInfo& info)
{
    EnterCriticalSection(m_pLock);
    Feed* feed = FeedOf(from);
    if (feed && feed == &m_Feeds[m_Live] && m_bBegun && info.kind != feed->kind) {
        // Another kind of stream makes other files: the recording goes on in them.
        Trace(L"[CStationRecorder] the station now sends %s: the recording goes on in new files\n",
              StreamSniff::Name(info.kind));
        m_pWriter->End();
        m_bBegun = false;
        feed->headers.clear();
    }
    if (feed) {
        feed->kind = info.kind;
        feed->name = info.answer.name;
        feed->answered = true;
    }
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::OnStationFailed(const CStationReader& from, StationFailure failure, unsigned status, bool dropped)
{
    std::wstring reason = StationFailureText(failure, status, UiIsJapanese());
    EnterCriticalSection(m_pLock);
    if (Feed* feed = FeedOf(from)) {
        feed->failure = reason;
        if (dropped && !feed->dropOpen && feed->lastEnd) {
            feed->dropOpen = true;
            feed->brokeAt = feed->lastEnd;
        }
    }
    LeaveCriticalSection(m_pLock);
    SetEvent(m_hFrame);
}

void CStationRecorder::OnStationBack(const CStationReader& from, long long brokeAt, long long lost)
{
    EnterCriticalSection(m_pLock);
    Feed* feed = FeedOf(from);
    // Told when the break touched a recording.
    if (feed == &m_Feeds[m_Live] && m_bActive && brokeAt + lost > m_Current.m_StartAt)
        TellBreak(brokeAt, lost);
    if (feed)
        feed->dropOpen = false;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::OnStationFrame(const CStationReader& from, const StreamFrame& frame, long long live,
                                      long long ticks, const wchar_t* title)
{
    EnterCriticalSection(m_pLock);
    Feed* feed = FeedOf(from);
    if (!feed) {
        LeaveCriticalSection(m_pLock);
        return;
    }
    bool recording = feed == &m_Feeds[m_Live] && m_bActive;
    if (title)
        feed->title = title;
    if (frame.header) {
        // The headers of a later chain replace those before.
        if (feed->headersDone || frame.newFormat) {
            feed->headers.clear();
            feed->headersDone = false;
        }
        feed->headers.emplace_back(frame.data, frame.data + frame.bytes);
        if (recording && m_bBegun && m_pWriter)
            m_pWriter->AppendFrame(frame);
        LeaveCriticalSection(m_pLock);
        return;
    }
    feed->headersDone = true;
    long long middle = live + ticks / 2;
    feed->lastEnd = live + ticks;
    if (recording && m_Current.m_StopAt && middle >= m_Current.m_StopAt) {
        EndCurrent();
        recording = m_bActive;
    }
    if (recording && middle >= m_Current.m_StartAt)
        Take(frame, feed->title);
    else if (!recording)
        Keep(feed->preRoll, frame, live, ticks, feed->title);
    LeaveCriticalSection(m_pLock);
    SetEvent(m_hFrame);
}
