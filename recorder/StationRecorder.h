// A station's programs, on the audio thread's requests: its reader from the
// set-up on, and the cut of its frames between programs. A frame belongs
// to the program whose span its middle falls in on the wall clock, so a
// program holds the frames that went live from its start to its stop, and
// the next program of the same station, back to back, begins with the
// frame after the last one of the program before.
#pragma once

#include "files/RecordingParameters.h"
#include "files/WaveWriter.h"
#include "stream/StationListener.h"
#include "stream/StationReader.h"

#include <windows.h>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class CStationRecorder : public CStationListener {
public:
    // Frames kept while no program records, behind the newest: a start
    // request this late still gets its program's first frames.
    static constexpr long long kPreRollTicks = 600000000LL;  // 60 s
    // How long a close waits for the station to deliver up to the stop.
    static constexpr DWORD kStopWaitMs = 3000;
    // A station whose frames come further behind (an HLS station's, 20 to
    // 40 s behind the air) is not waited for: its recording ends on the
    // reader's thread when its frames reach the stop, or this long after
    // the close at the latest, less as far as they came behind.
    static constexpr long long kMaxBehindTicks = 1200000000LL;   // 2 min
    static constexpr long long kCloseMarginTicks = 150000000LL;  // 15 s
    // A start request this much after the program's start is a late start, told.
    static constexpr long long kLateTicks = 50000000LL;  // 5 s

    // cutLock: the controller's, under which the writer is fed; quit: its
    // exit, which ends a close's wait for late frames.
    CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd, volatile LONG* quit = nullptr);
    ~CStationRecorder() override;
    CStationRecorder(const CStationRecorder&) = delete;
    CStationRecorder& operator=(const CStationRecorder&) = delete;

    // The audio thread's requests, carried out in order on a thread of the
    // recorder's own, so that a station's waits never hold up a device.
    // Connect: the set-up, its reader connects; while another station
    // records, beside it (one station set up ahead at a time).
    // variant: an HLS station's variant as the program chose it (0: the best).
    void Connect(const wchar_t* address, unsigned long long variant = 0);
    // The program's start: its frames go to writer from the first that
    // went live at its start; a program of the station still recording
    // hands over at its stop.
    void Start(const RecordingParameters& recording, CWaveWriter* writer);
    void StopAt(long long stopAt);
    // The recording ends at stopAt (0 or later than now: now) and its
    // reader with it; one set up ahead becomes the next to record. A
    // station far behind the clock ends later, on its own. Waits up to
    // kStopWaitMs and a second for the requests so far to be carried out:
    // true when they were.
    bool Close(long long stopAt);
    // A station is set up or records, as the requests so far have it (audio thread).
    bool Connected() const { return m_bWanted; }
    bool Recording();
    // A recording still ends on its own (its close came; its frames come behind).
    bool Closing();

    // The readers' threads.
    void OnStationConnected(const CStationReader& from, const StationInfo& info) override;
    void OnStationFailed(const CStationReader& from, StationFailure failure, unsigned status, bool dropped) override;
    void OnStationFrame(const CStationReader& from, const StreamFrame& frame, long long live, long long ticks,
                        const wchar_t* title) override;
    void OnStationBack(const CStationReader& from, long long brokeAt, long long lost) override;

protected:
    // A seam for the tests: the reader of an address.
    virtual CStationReader* NewReader(const wchar_t* address, unsigned long long variant);

private:
    struct Request {
        enum { kConnect, kStart, kStopAt, kClose } type;
        RecordingParameters recording;  // kStart; kConnect: its source
        CWaveWriter* writer;
        long long at;  // kStopAt, kClose: the stop; kStart: when it was asked for
    };
    static DWORD WINAPI ThreadProc(void* param);
    // The requests in order; once: until none is left (no thread of its own).
    void Run(bool once);
    void Post(const Request& request);
    void DoConnect(const wchar_t* address, unsigned long long variant);
    void DoStart(const RecordingParameters& recording, CWaveWriter* writer, long long requested);
    void DoStopAt(long long stopAt);
    void DoClose(long long stopAt);
    struct Kept {
        std::vector<unsigned char> bytes;
        StreamFrame frame;
        long long live, ticks;
        std::wstring title;  // the station's title in effect
    };
    // One station connected, as the cut sees it.
    struct Feed {
        // Set and taken out under the lock, started and stopped outside it.
        std::unique_ptr<CStationReader> reader;
        StreamKind kind = kKindUnknown;  // of its last connection
        std::wstring name;     // icy-name
        std::wstring title;    // the station's title in effect
        std::wstring failure;  // why its last connection failed, in the UI's language
        bool answered = false;  // a connection answered since the set-up
        bool dropOpen = false;  // a drop not yet mended: since brokeAt
        long long brokeAt = 0;
        long long lastEnd = 0;  // where its last frame ended
        std::deque<Kept> preRoll;
        std::vector<std::vector<unsigned char>> headers;  // the stream's Ogg header pages
        bool headersDone = false;  // audio came after them
        bool finished = false;     // its reader was told to end: it connects nothing more
    };
    // Under the lock: the feed of a reader (null: one being stopped).
    Feed* FeedOf(const CStationReader& from);
    bool Feeds(const Feed& feed, const wchar_t* address, unsigned long long variant) const
    {
        return feed.reader && !feed.finished && feed.reader->Address() == address && feed.reader->Variant() == variant;
    }
    // Takes the feed's reader out (under the lock) and stops it (outside).
    void StopFeed(Feed& feed);
    // Starts a reader of address in the feed, its state afresh.
    void StartFeed(Feed& feed, const wchar_t* address, unsigned long long variant);
    // Under the lock: recording begins (its start request came at requested).
    void Begin(const RecordingParameters& recording, long long requested);
    void TellNoAnswer(const std::wstring& failure);
    // Under the lock: the frame to the recording, which begins with it.
    // at: where the frame went live.
    void Take(const StreamFrame& frame, const std::wstring& title, long long at);
    void EndCurrent();
    // Under the lock: the live feed's recording ends, its reader with it.
    void Closed(Feed& live, long long stopAt);
    // Until a recording that ends on its own has ended (or must by now).
    void WaitClosing();
    void TellBreak(long long brokeAt, long long lost);
    void Tell(WPARAM notice, const wchar_t* detail);
    static void Keep(std::deque<Kept>& kept, const StreamFrame& frame, long long live, long long ticks,
                     const std::wstring& title);

    CRITICAL_SECTION* const m_pLock;
    const HWND m_hNoticeWnd;
    volatile LONG* const m_pQuit;
    // Set on each frame, for the close's wait.
    HANDLE m_hFrame;
    // The requests, under m_RequestLock (audio thread and the recorder's):
    // m_hRequest set when one is posted, m_hIdle while none waits or runs.
    CRITICAL_SECTION m_RequestLock;
    std::deque<Request> m_Requests;
    bool m_bBusy;
    HANDLE m_hRequest, m_hIdle, m_hThread;
    volatile LONG m_bStop;
    bool m_bWanted;  // the audio thread's: set up or started, and not closed since

    // Under *m_pLock (the readers' threads and the audio thread):
    // m_Feeds[m_Live] records (or is set up), the other is set up ahead.
    Feed m_Feeds[2];
    unsigned m_Live;
    CWaveWriter* m_pWriter;
    RecordingParameters m_Current, m_Next;
    bool m_bActive;   // m_Current records
    bool m_bBegun;    // its files are begun (with its first frame)
    bool m_bNext;     // m_Next waits for m_Current's stop
    long long m_Requested;  // when m_Current's start request came
    long long m_LateBy;     // that far after its start (0: on time); told with its first frame
    bool m_bClosing;        // m_Current ends on its own when its frames reach the stop
    bool m_bEnding;         // the recorder goes: nothing is waited for
    long long m_CloseBy;    // or at this moment at the latest
    bool m_bNoAnswerTold;   // m_Current's station was told as not answering (or it answered)
    std::wstring m_FileTitle;  // the station's title the recording's files have
};
