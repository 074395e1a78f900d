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
    static constexpr long long kPreRollTicks = 200000000LL;  // 20 s
    // How long a close waits for the station to deliver up to the stop.
    static constexpr DWORD kStopWaitMs = 3000;
    // ... and longer by as far as its frames come behind the clock, up to
    // this: an HLS station's come 20 to 40 s behind the air.
    static constexpr long long kMaxBehindTicks = 1200000000LL;  // 2 min

    // cutLock: the controller's, under which the writer is fed; quit: its
    // exit, which ends a close's wait for late frames.
    CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd, volatile LONG* quit = nullptr);
    ~CStationRecorder() override;
    CStationRecorder(const CStationRecorder&) = delete;
    CStationRecorder& operator=(const CStationRecorder&) = delete;

    // The audio thread's requests. Connect: the set-up, its reader
    // connects; while another station records, beside it (one station set
    // up ahead at a time).
    void Connect(const wchar_t* address);
    // The program's start: its frames go to writer from the first that
    // went live at its start; a program of the station still recording
    // hands over at its stop.
    void Start(const RecordingParameters& recording, CWaveWriter* writer);
    void StopAt(long long stopAt);
    // The recording ends at stopAt (0 or later than now: now) and its
    // reader with it; one set up ahead becomes the next to record.
    void Close(long long stopAt);
    bool Connected();
    bool Recording();

    // The readers' threads.
    void OnStationConnected(const CStationReader& from, const StationInfo& info) override;
    void OnStationFailed(const CStationReader& from, StationFailure failure, unsigned status, bool dropped) override;
    void OnStationFrame(const CStationReader& from, const StreamFrame& frame, long long live, long long ticks,
                        const wchar_t* title) override;
    void OnStationBack(const CStationReader& from, long long brokeAt, long long lost) override;

protected:
    // A seam for the tests: the reader of an address.
    virtual CStationReader* NewReader(const wchar_t* address);

private:
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
    };
    // Under the lock: the feed of a reader (null: one being stopped).
    Feed* FeedOf(const CStationReader& from);
    bool Feeds(const Feed& feed, const wchar_t* address) const
    {
        return feed.reader && feed.reader->Address() == address;
    }
    // Takes the feed's reader out (under the lock) and stops it (outside).
    void StopFeed(Feed& feed);
    // Starts a reader of address in the feed, its state afresh.
    void StartFeed(Feed& feed, const wchar_t* address);
    // Under the lock: the frame to the recording, which begins with it.
    void Take(const StreamFrame& frame, const std::wstring& title);
    void EndCurrent();
    void TellBreak(long long brokeAt, long long lost);
    void Tell(WPARAM notice, const wchar_t* detail);
    static void Keep(std::deque<Kept>& kept, const StreamFrame& frame, long long live, long long ticks,
                     const std::wstring& title);

    CRITICAL_SECTION* const m_pLock;
    const HWND m_hNoticeWnd;
    volatile LONG* const m_pQuit;
    // Set on each frame, for the close's wait.
    HANDLE m_hFrame;

    // Under *m_pLock (the readers' threads and the audio thread):
    // m_Feeds[m_Live] records (or is set up), the other is set up ahead.
    Feed m_Feeds[2];
    unsigned m_Live;
    CWaveWriter* m_pWriter;
    RecordingParameters m_Current, m_Next;
    bool m_bActive;   // m_Current records
    bool m_bBegun;    // its files are begun (with its first frame)
    bool m_bNext;     // m_Next waits for m_Current's stop
    std::wstring m_FileTitle;  // the station's title the recording's files have
};
