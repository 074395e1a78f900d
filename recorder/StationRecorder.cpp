#include "recorder/StationRecorder.h"

#include "capture/BaseCapture.h"
#include "config/UiLanguage.h"
#include "foundation/Format.h"
#include "foundation/RecordingNotice.h"
#include "foundation/Trace.h"

#include <new>

namespace {

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

// h:mm:ss of a span, to the nearest second.
std::wstring Duration(long long ticks)
{
    long long seconds = ((ticks > 0 ? ticks : 0) + 5000000LL) / 10000000LL;
    wchar_t text[24];
    FormatText(text, 24, L"%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

}  // namespace

CStationRecorder::CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd, volatile LONG* quit)
    : m_pLock(cutLock), m_hNoticeWnd(noticeWnd), m_pQuit(quit), m_hFrame(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_bBusy(false), m_hRequest(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_hIdle(CreateEventW(nullptr, TRUE, TRUE, nullptr)), m_hThread(nullptr), m_bStop(0), m_bWanted(false), m_Live(0),
      m_pWriter(nullptr), m_bActive(false), m_bBegun(false), m_bNext(false), m_Requested(0), m_LateBy(0),
      m_bClosing(false), m_bEnding(false), m_CloseBy(0), m_bNoAnswerTold(false)
{
    InitializeCriticalSection(&m_RequestLock);
}

CStationRecorder::~CStationRecorder()
{
    // What is still asked for is carried out without waiting for anything.
    m_bEnding = true;
    InterlockedExchange(&m_bStop, 1);
    if (m_hThread) {
        SetEvent(m_hRequest);
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
    StopFeed(m_Feeds[1 - m_Live]);
    DoClose(0);
    StopFeed(m_Feeds[0]);
    StopFeed(m_Feeds[1]);
    for (HANDLE h : {m_hFrame, m_hRequest, m_hIdle})
        if (h)
            CloseHandle(h);
    DeleteCriticalSection(&m_RequestLock);
}

DWORD WINAPI CStationRecorder::ThreadProc(void* param)
{
    static_cast<CStationRecorder*>(param)->Run(false);
    return 0;
}

void CStationRecorder::Run(bool once)
{
    for (;;) {
        EnterCriticalSection(&m_RequestLock);
        bool any = !m_Requests.empty();
        Request request = any ? m_Requests.front() : Request();
        if (any)
            m_Requests.pop_front();
        m_bBusy = any;
        if (!any)
            SetEvent(m_hIdle);
        LeaveCriticalSection(&m_RequestLock);
        if (!any) {
            if (m_bStop || once)
                return;
            WaitForSingleObject(m_hRequest, INFINITE);
            continue;
        }
        switch (request.type) {
        case Request::kConnect: DoConnect(request.recording.m_Source, request.recording.m_Variant); break;
        case Request::kStart: DoStart(request.recording, request.writer, request.at); break;
        case Request::kStopAt: DoStopAt(request.at); break;
        case Request::kClose: DoClose(request.at); break;
        }
    }
}

void CStationRecorder::Post(const Request& request)
{
    EnterCriticalSection(&m_RequestLock);
    m_Requests.push_back(request);
    ResetEvent(m_hIdle);
    LeaveCriticalSection(&m_RequestLock);
    SetEvent(m_hRequest);
    if (!m_hThread)
        m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    // Without a thread of its own, the recorder carries the requests out here.
    if (!m_hThread)
        Run(true);
}

void CStationRecorder::Connect(const wchar_t* address, unsigned long long variant)
{
    Request r = Request();
    r.type = Request::kConnect;
    lstrcpynW(r.recording.m_Source, address ? address : L"", RecordingParameters::kSourceSize);
    r.recording.m_Variant = variant;
    m_bWanted = true;
    Post(r);
}

void CStationRecorder::Start(const RecordingParameters& recording, CWaveWriter* writer)
{
    Request r = Request();
    r.type = Request::kStart;
    r.recording = recording;
    r.writer = writer;
    r.at = CBaseCapture::Now();
    m_bWanted = true;
    Post(r);
}

void CStationRecorder::StopAt(long long stopAt)
{
    Request r = Request();
    r.type = Request::kStopAt;
    r.at = stopAt;
    Post(r);
}

bool CStationRecorder::Close(long long stopAt)
{
    Request r = Request();
    r.type = Request::kClose;
    r.at = stopAt;
    m_bWanted = false;
    Post(r);
    return WaitForSingleObject(m_hIdle, kStopWaitMs + 1000) == WAIT_OBJECT_0;
}

CStationReader* CStationRecorder::NewReader(const wchar_t* address, unsigned long long variant)
{
    return new (std::nothrow) CStationReader(address, this, variant);
}

bool CStationRecorder::Recording()
{
    EnterCriticalSection(m_pLock);
    bool active = m_bActive;
    LeaveCriticalSection(m_pLock);
    return active;
}


bool CStationRecorder::Closing()
{
    EnterCriticalSection(m_pLock);
    bool closing = m_bClosing;
    LeaveCriticalSection(m_pLock);
    return closing;
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

void CStationRecorder::StartFeed(Feed& feed, const wchar_t* address, unsigned long long variant)
{
    StopFeed(feed);
    CStationReader* reader = NewReader(address, variant);
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

void CStationRecorder::DoConnect(const wchar_t* address, unsigned long long variant)
{
    // Read under the lock: a recording that ends on a reader's thread moves m_Live.
    EnterCriticalSection(m_pLock);
    Feed& live = m_Feeds[m_Live];
    Feed& ahead = m_Feeds[1 - m_Live];
    bool liveFeeds = Feeds(live, address, variant), aheadFeeds = Feeds(ahead, address, variant), recording = m_bActive;
    LeaveCriticalSection(m_pLock);
    if (liveFeeds)
        return;
    if (recording) {
        // Another station records: this one connects beside it, for the next program.
        if (aheadFeeds)
            return;
        Trace(L"[CStationRecorder] %s is set up ahead while %s records\n", address,
              live.reader ? live.reader->Address().c_str() : L"");
        StartFeed(ahead, address, variant);
        return;
    }
    StopFeed(ahead);
    StartFeed(live, address, variant);
}

void CStationRecorder::DoStart(const RecordingParameters& recording, CWaveWriter* writer, long long requested)
{
    // The recording before still waits for its last frames (a station
    // behind the clock): this one follows it, its first frames kept by its
    // station's pre-roll meanwhile.
    WaitClosing();
    // A start without its set-up (the set-up's request lost to a hand-over) connects now.
    EnterCriticalSection(m_pLock);
    bool liveFeeds = Feeds(m_Feeds[m_Live], recording.m_Source, recording.m_Variant);
    bool aheadFeeds = Feeds(m_Feeds[1 - m_Live], recording.m_Source, recording.m_Variant) && !m_bActive;
    LeaveCriticalSection(m_pLock);
    if (!liveFeeds) {
        if (aheadFeeds) {
            StopFeed(m_Feeds[m_Live]);
            EnterCriticalSection(m_pLock);
            m_Live = 1 - m_Live;
            LeaveCriticalSection(m_pLock);
        } else {
            DoConnect(recording.m_Source, recording.m_Variant);
        }
    }
    EnterCriticalSection(m_pLock);
    m_pWriter = writer;
    if (m_bActive) {
        // Back to back on this station: the next program takes over at the stop.
        m_Next = recording;
        m_bNext = true;
        LeaveCriticalSection(m_pLock);
        Trace(L"[CStationRecorder] back to back: the next program takes over at the stop\n");
        return;
    }
    Begin(recording, requested);
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::Begin(const RecordingParameters& recording, long long requested)
{
    Feed& live = m_Feeds[m_Live];
    m_Current = recording;
    m_bActive = true;
    m_bBegun = false;
    m_Requested = requested;
    m_LateBy = m_Current.m_StartAt && requested - m_Current.m_StartAt > kLateTicks ? requested - m_Current.m_StartAt : 0;
    // What went live since the start, before this request came, is the program's.
    std::deque<Kept> early;
    early.swap(live.preRoll);
    for (Kept& kept : early) {
        long long middle = kept.live + kept.ticks / 2;
        if (middle >= m_Current.m_StartAt && (!m_Current.m_StopAt || middle < m_Current.m_StopAt)) {
            kept.frame.data = kept.bytes.data();
            Take(kept.frame, kept.title, kept.live);
        }
    }
    // A station that has not answered is told with its last failure, now
    // or at its next (a start without a lead gives it its first attempt).
    m_bNoAnswerTold = live.answered;
    if (!live.answered && !live.failure.empty())
        TellNoAnswer(live.failure);
}

void CStationRecorder::TellNoAnswer(const std::wstring& failure)
{
    std::wstring detail = std::wstring(m_Current.m_Tags.m_Title) + L"\t" + m_Current.m_Source + L"\t" + failure;
    Trace(L"[CStationRecorder] the station does not answer at the start: %s\n", failure.c_str());
    Tell(kNoticeStationNoAnswer, detail.c_str());
    m_bNoAnswerTold = true;
}

void CStationRecorder::DoStopAt(long long stopAt)
{
    EnterCriticalSection(m_pLock);
    if (m_bNext)
        m_Next.m_StopAt = stopAt;
    else if (m_bActive)
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::DoClose(long long stopAt)
{
    WaitClosing();
    long long now = CBaseCapture::Now();
    bool asked = stopAt != 0 && stopAt <= now;
    if (!asked)
        stopAt = now;
    EnterCriticalSection(m_pLock);
    Feed& live = m_Feeds[m_Live];
    bool active = m_bActive;
    RecordingParameters& last = m_bNext ? m_Next : m_Current;
    if (m_bActive && (!last.m_StopAt || last.m_StopAt > stopAt))
        last.m_StopAt = stopAt;
    // An HLS station on its own clock delivers half a minute and more
    // behind: its recording ends on the reader's thread once the frame past
    // the stop has come (or by the deadline), and the audio thread goes on.
    long long behind = live.lastEnd ? now - live.lastEnd : 0;
    if (active && asked && live.reader && !(m_pQuit && *m_pQuit) && !m_bEnding && behind > kStopWaitMs * 10000LL &&
        live.lastEnd < stopAt) {
        m_bClosing = true;
        m_CloseBy = now + (behind < kMaxBehindTicks ? behind : kMaxBehindTicks) + kCloseMarginTicks;
        LeaveCriticalSection(m_pLock);
        Trace(L"[CStationRecorder] the station's frames come %lld s behind: the recording ends when they reach the stop\n",
              behind / 10000000LL);
        return;
    }
    LeaveCriticalSection(m_pLock);
    // Any other delivers a little behind: wait for the frame that goes past the stop.
    for (DWORD start = GetTickCount(); active && asked && GetTickCount() - start < kStopWaitMs;) {
        EnterCriticalSection(m_pLock);
        bool reached = !live.reader || live.lastEnd >= stopAt || !m_bActive || live.dropOpen;
        LeaveCriticalSection(m_pLock);
        if (reached)
            break;
        WaitForSingleObject(m_hFrame, 50);
    }
    StopFeed(live);
    EnterCriticalSection(m_pLock);
    if (m_bActive)
        Closed(live, stopAt);
    live = Feed();
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::Closed(Feed& live, long long stopAt)
{
    if (live.dropOpen && m_bBegun)
        TellBreak(live.brokeAt, stopAt - live.brokeAt);
    live.dropOpen = false;
    m_bNext = false;
    EndCurrent();
    m_bClosing = false;
    // Its reader ends; the station set up ahead is the next to record.
    if (live.reader)
        live.reader->Finish();
    live.finished = true;
    if (m_Feeds[1 - m_Live].reader)
        m_Live = 1 - m_Live;
}

void CStationRecorder::WaitClosing()
{
    for (;;) {
        EnterCriticalSection(m_pLock);
        bool closing = m_bClosing;
        if (closing && (CBaseCapture::Now() >= m_CloseBy || (m_pQuit && *m_pQuit) || m_bEnding))
            Closed(m_Feeds[m_Live], m_Current.m_StopAt);
        closing = m_bClosing;
        LeaveCriticalSection(m_pLock);
        if (!closing)
            return;
        WaitForSingleObject(m_hFrame, 50);
    }
}

void CStationRecorder::Tell(WPARAM notice, const wchar_t* detail)
{
    PostRecordingNotice(m_hNoticeWnd, notice, detail);
}

void CStationRecorder::TellBreak(long long brokeAt, long long lost)
{
    wchar_t at[16], detail[RecordingTags::kTitleSize + 48];
    LocalClock(brokeAt, at, 16);
    std::wstring gone = Duration(lost);
    FormatText(detail, RecordingTags::kTitleSize + 48, L"%s\t%s\t%s", m_Current.m_Tags.m_Title, at, gone.c_str());
    Trace(L"[CStationRecorder] the stream broke at %s; %s lost\n", at, gone.c_str());
    Tell(kNoticeStreamBreak, detail);
}

void CStationRecorder::EndCurrent()
{
    if (m_bBegun && m_pWriter) {
        m_pWriter->End();
    } else {
        const Feed& live = m_Feeds[m_Live];
        if (!m_bNoAnswerTold && !live.answered)
            TellNoAnswer(!live.failure.empty() ? live.failure
                                               : UiIsJapanese() ? L"まだ応答がありません。" : L"No answer yet.");
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

void CStationRecorder::Take(const StreamFrame& frame, const std::wstring& title, long long at)
{
    if (!m_pWriter)
        return;
    Feed& live = m_Feeds[m_Live];
    if (!m_bBegun && m_LateBy) {
        // Started late: how much of the time before came from what the station still kept.
        long long kept = m_Requested - (at > m_Current.m_StartAt ? at : m_Current.m_StartAt);
        kept = kept < 0 ? 0 : kept > m_LateBy ? m_LateBy : kept;
        std::wstring detail = std::wstring(m_Current.m_Tags.m_Title) + L"\t" + Duration(m_LateBy) + L"\t" + Duration(kept);
        Trace(L"[CStationRecorder] the recording started %s late; %s of it came from the station\n",
              Duration(m_LateBy).c_str(), Duration(kept).c_str());
        Tell(kNoticeLateStart, detail.c_str());
        m_LateBy = 0;
    }
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
        if (m_bClosing && feed == &m_Feeds[m_Live] && CBaseCapture::Now() >= m_CloseBy)
            Closed(*feed, m_Current.m_StopAt);
        if (feed == &m_Feeds[m_Live] && m_bActive && !m_bBegun && !feed->answered && !m_bNoAnswerTold)
            TellNoAnswer(reason);
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
    if (recording && m_bClosing && !m_bNext && (middle >= m_Current.m_StopAt || CBaseCapture::Now() >= m_CloseBy)) {
        Closed(*feed, m_Current.m_StopAt);
        LeaveCriticalSection(m_pLock);
        SetEvent(m_hFrame);
        return;
    }
    if (recording && m_Current.m_StopAt && middle >= m_Current.m_StopAt) {
        EndCurrent();
        recording = m_bActive;
    }
    if (recording && middle >= m_Current.m_StartAt)
        Take(frame, feed->title, live);
    else if (!recording)
        Keep(feed->preRoll, frame, live, ticks, feed->title);
    LeaveCriticalSection(m_pLock);
    SetEvent(m_hFrame);
}
