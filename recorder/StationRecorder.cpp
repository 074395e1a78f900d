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

CStationRecorder::CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd)
    : m_pLock(cutLock), m_hNoticeWnd(noticeWnd), m_hFrame(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_pWriter(nullptr), m_bActive(false), m_bBegun(false), m_bNext(false), m_Taken(0), m_Kind(kKindUnknown),
      m_bAnswered(false), m_bDropOpen(false), m_BrokeAt(0), m_LastEnd(0), m_bHeadersDone(false)
{
}

CStationRecorder::~CStationRecorder()
{
    m_Ahead.clear();
    Close(0);
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

void CStationRecorder::Connect(const wchar_t* address)
{
    if (m_pReader && m_pReader->Address() == address)
        return;
    if (m_pReader) {
        if (Recording()) {
            // One station at a time: the one recording goes on to its stop,
            // and this one connects then.
            Trace(L"[CStationRecorder] %s is set up while %s records: it connects at that one's stop\n", address,
                  m_pReader->Address().c_str());
            m_Ahead = address;
            return;
        }
        m_Ahead.clear();
        Close(0);
    }
    EnterCriticalSection(m_pLock);
    m_Kind = kKindUnknown;
    m_bAnswered = m_bDropOpen = m_bHeadersDone = false;
    m_Failure.clear();
    m_Title.clear();
    m_Name.clear();
    m_PreRoll.clear();
    m_Headers.clear();
    m_LastEnd = 0;
    LeaveCriticalSection(m_pLock);
    m_pReader.reset(NewReader(address));
    if (m_pReader && !m_pReader->Start())
        m_pReader.reset();
    Trace(m_pReader ? L"[CStationRecorder] connecting to %s\n" : L"[CStationRecorder] no reader for %s\n", address);
}

void CStationRecorder::Start(const RecordingParameters& recording, CWaveWriter* writer)
{
    // A start without its set-up (the set-up's request lost to a hand-over) connects now.
    if (!m_pReader || m_pReader->Address() != recording.m_Source)
        Connect(recording.m_Source);
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
    m_Current = recording;
    m_bActive = true;
    m_bBegun = false;
    m_Taken = 0;
    // What went live since the start, before this request came, is the program's.
    std::deque<Kept> early;
    early.swap(m_PreRoll);
    for (Kept& kept : early) {
        long long middle = kept.live + kept.ticks / 2;
        if (middle >= m_Current.m_StartAt && (!m_Current.m_StopAt || middle < m_Current.m_StopAt)) {
            kept.frame.data = kept.bytes.data();
            Take(kept.frame, kept.title);
        }
    }
    bool answered = m_bAnswered;
    std::wstring failure = m_Failure;
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
    bool active = m_bActive;
    if (m_bNext)
        m_Next.m_StopAt = stopAt;
    else if (m_bActive && (!m_Current.m_StopAt || m_Current.m_StopAt > stopAt))
        m_Current.m_StopAt = stopAt;
    LeaveCriticalSection(m_pLock);
    // The station delivers a little behind: wait for the frame that goes past the stop.
    for (DWORD start = GetTickCount(); active && asked && m_pReader && GetTickCount() - start < kStopWaitMs;) {
        EnterCriticalSection(m_pLock);
        bool reached = m_LastEnd >= stopAt || !m_bActive;
        bool dropped = m_bDropOpen;
        LeaveCriticalSection(m_pLock);
        if (reached || dropped)
            break;
        WaitForSingleObject(m_hFrame, 50);
    }
    if (m_pReader) {
        m_pReader->Stop();
        m_pReader.reset();
    }
    EnterCriticalSection(m_pLock);
    if (m_bActive && m_bDropOpen && m_bBegun) {
        TellBreak(m_BrokeAt, stopAt - m_BrokeAt);
        m_bDropOpen = false;
    }
    m_bNext = false;  // a program that never took over ends with the one before
    if (m_bActive)
        EndCurrent();
    m_PreRoll.clear();
    LeaveCriticalSection(m_pLock);
    std::wstring ahead;
    ahead.swap(m_Ahead);
    if (!ahead.empty())
        Connect(ahead.c_str());
}

void CStationRecorder::Tell(WPARAM notice, const wchar_t* detail)
{
    PostRecordingNotice(m_hNoticeWnd, notice, detail);
}

void CStationRecorder::TellBreak(long long brokeAt, long long lost)
{
    wchar_t at[16], gone[24], detail[RecordingTags::kTitleSize + 48];
    LocalClock(brokeAt, at, 16);
    long long seconds = (lost > 0 ? lost : 0) / 10000000LL;
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
    m_Taken = 0;
    m_bActive = m_bNext;
    if (m_bNext)
        m_Current = m_Next;
    m_bNext = false;
}

void CStationRecorder::Take(const StreamFrame& frame, const std::wstring& title)
{
    if (!m_pWriter)
        return;
    if (!m_bBegun) {
        RecordingParameters recording = m_Current;
        lstrcpynW(recording.m_Tags.m_Station, m_Name.c_str(), RecordingTags::kStationSize);
        m_pWriter->BeginStream(recording, m_Kind);
        m_bBegun = true;
        // Every file of an Ogg stream begins with its header pages.
        for (const std::vector<unsigned char>& page : m_Headers) {
            StreamFrame header = StreamFrame();
            header.data = page.data();
            header.bytes = static_cast<unsigned>(page.size());
            header.codec = frame.codec;
            header.header = true;
            header.newFormat = &page == &m_Headers.front();
            m_pWriter->AppendFrame(header);
        }
        m_FileTitle.clear();
    }
    if (title != m_FileTitle) {
        m_pWriter->Title(title.c_str());
        m_FileTitle = title;
    }
    if (!frame.header) {
        m_pWriter->AppendFrame(frame);
        ++m_Taken;
    }
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

void CStationRecorder::OnStationConnected(const StationInfo& info)
{
    EnterCriticalSection(m_pLock);
    if (m_bBegun && info.kind != m_Kind) {
        // Another kind of stream makes other files: the recording goes on in them.
        Trace(L"[CStationRecorder] the station now sends %s: the recording goes on in new files\n",
              StreamSniff::Name(info.kind));
        m_pWriter->End();
        m_bBegun = false;
        m_Headers.clear();
    }
    m_Kind = info.kind;
    m_Name = info.answer.name;
    m_bAnswered = true;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::OnStationFailed(const CStationConnection& connection, bool dropped)
{
    std::wstring reason = connection.Reason(UiIsJapanese());
    EnterCriticalSection(m_pLock);
    m_Failure = reason;
    if (dropped && !m_bDropOpen && m_LastEnd) {
        m_bDropOpen = true;
        m_BrokeAt = m_LastEnd;
    }
    LeaveCriticalSection(m_pLock);
    SetEvent(m_hFrame);
}

void CStationRecorder::OnStationBack(long long brokeAt, long long lost)
{
    EnterCriticalSection(m_pLock);
    // Told when the break touched a recording.
    if (m_bActive && brokeAt + lost > m_Current.m_StartAt)
        TellBreak(brokeAt, lost);
    m_bDropOpen = false;
    LeaveCriticalSection(m_pLock);
}

void CStationRecorder::OnStationFrame(const StreamFrame& frame, long long live, long long ticks, const wchar_t* title)
{
    EnterCriticalSection(m_pLock);
    if (title)
        m_Title = title;
    if (frame.header) {
        // The headers of a later chain replace those before.
        if (m_bHeadersDone || frame.newFormat) {
            m_Headers.clear();
            m_bHeadersDone = false;
        }
        m_Headers.emplace_back(frame.data, frame.data + frame.bytes);
        if (m_bBegun && m_pWriter)
            m_pWriter->AppendFrame(frame);
        LeaveCriticalSection(m_pLock);
        return;
    }
    m_bHeadersDone = true;
    long long middle = live + ticks / 2;
    m_LastEnd = live + ticks;
    if (m_bActive && m_Current.m_StopAt && middle >= m_Current.m_StopAt)
        EndCurrent();
    if (m_bActive && middle >= m_Current.m_StartAt)
        Take(frame, m_Title);
    else if (!m_bActive)
        Keep(m_PreRoll, frame, live, ticks, m_Title);
    LeaveCriticalSection(m_pLock);
    SetEvent(m_hFrame);
}
