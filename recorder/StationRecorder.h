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
    // Frames kept while no program records: a start request this late still
    // gets its program's first frames.
    static constexpr long long kPreRollTicks = 200000000LL;  // 20 s
    // How long a close waits for the station to deliver up to the stop.
    static constexpr DWORD kStopWaitMs = 3000;

    // cutLock: the controller's, under which the writer is fed.
    CStationRecorder(CRITICAL_SECTION* cutLock, HWND noticeWnd);
    ~CStationRecorder() override;
    CStationRecorder(const CStationRecorder&) = delete;
    CStationRecorder& operator=(const CStationRecorder&) = delete;

    // The audio thread's requests. Connect: the set-up, its reader connects
    // (a reader of another station no program records ends first).
    void Connect(const wchar_t* address);
    // The program's start: its frames go to writer from the first that
    // went live at its start; a program of the station still recording
    // hands over at its stop.
    void Start(const RecordingParameters& recording, CWaveWriter* writer);
    void StopAt(long long stopAt);
    // The recording ends at stopAt (0 or later than now: now) and the reader with it.
    void Close(long long stopAt);
    bool Connected() const { return m_pReader != nullptr; }
    bool Recording();

    // The reader's thread.
    void OnStationConnected(const StationInfo& info) override;
    void OnStationFailed(const CStationConnection& connection, bool dropped) override;
    void OnStationFrame(const StreamFrame& frame, long long live, long long ticks, const wchar_t* title) override;
    void OnStationBack(long long brokeAt, long long lost) override;

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
    // Under the lock: the frame to the recording, which begins with it.
    void Take(const StreamFrame& frame, const std::wstring& title);
    void EndCurrent();
    void TellBreak(long long brokeAt, long long lost);
    void Tell(WPARAM notice, const wchar_t* detail);
    static void Keep(std::deque<Kept>& kept, const StreamFrame& frame, long long live, long long ticks,
                     const std::wstring& title);

    CRITICAL_SECTION* const m_pLock;
    const HWND m_hNoticeWnd;
    // The audio thread's: the reader of the station set up.
    std::unique_ptr<CStationReader> m_pReader;
    // A station set up while another records: connected at that one's close.
    std::wstring m_Ahead;
    // Set on each frame, for the close's wait.
    HANDLE m_hFrame;

    // Under *m_pLock (the reader's thread and the audio thread):
    CWaveWriter* m_pWriter;
    RecordingParameters m_Current, m_Next;
    bool m_bActive;   // m_Current records
    bool m_bBegun;    // its files are begun (with its first frame)
    bool m_bNext;     // m_Next waits for m_Current's stop
    unsigned long long m_Taken;  // frames m_Current took
    StreamKind m_Kind;           // of the last connection
    std::wstring m_Name;         // icy-name
    std::wstring m_Title;        // the station's title in effect
    std::wstring m_FileTitle;    // the one the recording's files have
    std::wstring m_Failure;      // why the last connection failed, in the UI's language
    bool m_bAnswered;            // a connection answered since the set-up
    bool m_bDropOpen;            // a drop not yet mended: since m_BrokeAt
    long long m_BrokeAt;
    long long m_LastEnd;         // where the last frame ended
    std::deque<Kept> m_PreRoll;
    std::vector<std::vector<unsigned char>> m_Headers;  // the stream's Ogg header pages
    bool m_bHeadersDone;  // audio came after them
};
