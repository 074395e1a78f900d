// The audio thread: turns the scheduler's requests into recordings, and, as
// the capture device's listener, appends every buffer to numbered WAV files.
#pragma once

#include "capture/BaseCapture.h"
#include "capture/SilenceWatch.h"
#include "capture/SoundListener.h"
#include "files/RecordingParameters.h"
#include "files/WaveWriter.h"
#include "foundation/Messages.h"
#include "recorder/PreRoll.h"
#include "recorder/StationRecorder.h"

// The device types: a capture device is tried over WASAPI, then waveIn;
// what the PC plays has the loopback type alone.
enum CaptureType { kWasapiDevice, kWaveInDevice, kLoopbackDevice };

class CAudioCtrl : public CSoundListener {
public:
    // Data of one file stays below 4 GiB so the 32-bit header sizes stay true
    // (room is left for the header and one buffer past the limit).
    static constexpr unsigned kMaxFileData = 0xFFFF0000u;
    static_assert(kMaxFileData + 56ULL + 96000 / 30 * 4 < 0x100000000ULL, "a full file's header sizes fit 32 bits");
    // Audio kept while no program records: a start request this late still
    // gets its program's first frames.
    static constexpr unsigned kPreRollSeconds = 10;
    // How long a close waits for the device to deliver up to the stop.
    static constexpr DWORD kStopWaitMs = 500;
    // How long a close waits for the disk to take the queued audio.
    static constexpr DWORD kDrainMs = 30000;

    CAudioCtrl();
    ~CAudioCtrl() override;
    CAudioCtrl(const CAudioCtrl&) = delete;
    CAudioCtrl& operator=(const CAudioCtrl&) = delete;

    static DWORD WINAPI ThreadProc(void* param);
    void TaskExecute();
    unsigned OnSoundData(const void* data, unsigned length) override;
    void OnDeviceLost() override;
    void OnSoundGap(long long ticks) override;
    void OnSourceChanged(const wchar_t* name) override;

    // The handlers of the thread messages. source: the program's own
    // (programs/ProgramSource.h); null or empty for the settings' device.
    // variant: a station's HLS variant (0: the best).
    void CaptureOpen(const wchar_t* source = nullptr, unsigned long long variant = 0);
    // The program's parameters (owned: freed here; null is no program).
    void CaptureStart(RecordingParameters* recording);
    void CaptureClose(long long stopAt = 0);
    void CaptureStopAt(long long stopAt);
    void CaptureRelease();
    // The device went away or stalled: finish the file, reopen, go on in the
    // next file; in the lead-in, reopen before the start.
    void CaptureLost();
    // The wall clock changed: the cuts are placed by the new offset.
    void CaptureClock();
    // Switch user (UI thread): another user took the console and with it this
    // session's sound, a break told as a lost device is; no device is tried
    // until the session is back, then the recording goes on in the next file.
    void SessionAway(bool away);
    // Waits until the files hold everything captured so far.
    bool WaitForWriter(DWORD timeoutMs = kDrainMs) { return !m_pWriter || m_pWriter->Drain(timeoutMs); }

    CBaseCapture* m_pCapture;
    int m_Frequency;
    int m_Channels;
    int m_Bits;
    int m_OpenOption;
    HANDLE m_hThread;
    volatile DWORD m_ThreadId;
    volatile LONG m_bQuit;
    volatile LONG m_bRecording;
    volatile UINT m_Task;
    WAVEFORMATEX m_Format;
    // The split size the settings held at the last open or start request.
    unsigned m_MaxFileSize;
    // Receives WM_RECORDING_NOTICE; set before the thread starts.
    HWND m_hNoticeWnd;
    // Another user has the console (written by the UI thread).
    volatile LONG m_bSessionAway;

    // The cut between recordings, shared by the audio thread and the
    // device's buffer thread under m_CutLock (taken inside the device's own
    // delivery lock, never around a call into the device). While a device
    // delivers, m_Current, m_bRecording and the writer's producer side
    // change under it too.
    CRITICAL_SECTION m_CutLock;
    // The recording: its files, split size, format and tags, and its span on
    // the capture clock. m_StopAt 0: not known. m_StartAt until its first
    // frame is taken: frames captured before it (staged across a step of the
    // clock) are not the program's; 0: not known, or decided.
    RecordingParameters m_Current;
    // A program that starts by the current one's stop (back to back or
    // overlapping) waits for that stop; its file is begun at the cut.
    // Written under m_CutLock; the audio thread may poll it without the lock
    // while it waits, and decides under the lock.
    volatile LONG m_bNextPending;
    RecordingParameters m_Next;
    // The last recording that reached its stop with no program waiting: its
    // stop, and the frame after its last. A program whose start request
    // comes later, starting at that stop, begins with that frame from the
    // pre-roll, wherever the device's timeline places its start by then (a
    // packet time far off moves it). 0: none.
    long long m_EndedStopAt;
    unsigned long long m_EndedFrame;
    // The stream broke off during the recording: the next frames it takes
    // go on in the next file, and the user hears of it.
    bool m_bAfterBreak;
    CPreRoll m_PreRoll;
    // The level of what the recording takes (under m_CutLock).
    CSilenceWatch m_Silence;
    // The device records what the PC plays: silence is nothing played.
    // Set by the audio thread while no device delivers.
    bool m_bLoopback;
    // The device open is the default one standing in for the chosen one,
    // which is not there (the choice in the settings stays). The audio thread's.
    bool m_bStandIn;
    // Files and disk, on a thread of their own; fed under m_CutLock. Made
    // by the first start request (audio thread); it exists whenever
    // m_bRecording is set.
    CWaveWriter* m_pWriter;
    // A station's programs: made by the first station set-up or start
    // (audio thread), its own reader thread behind it. m_bStationRecording:
    // one of them records (written by the audio thread, read by any).
    CStationRecorder* m_pStation;
    volatile LONG m_bStationRecording;
    // The stations' files, on a writer of their own: a station's recording
    // that ends after its close (its frames come behind the clock) goes on
    // while a device's begins.
    CWaveWriter* m_pStationWriter;
    bool IsRecording() const { return m_bRecording || m_bStationRecording; }

protected:
    // Seams for the tests: the device a recording uses, and the file writer.
    virtual CBaseCapture* NewCaptureDevice(CaptureType type);
    virtual CWaveWriter* NewWaveWriter();
    virtual CStationRecorder* NewStationRecorder();

    // The recording settings, clamped, as the next open would use them (a
    // seam for the tests, which split files smaller than a megabyte).
    virtual void ReadSettings(int& frequency, int& channels, unsigned& maxFileSize) const;

private:
    // Tells the notice window of a failure (posted: any thread may call it).
    void PostNotice(WPARAM notice, const wchar_t* detail = nullptr);
    // A device of the type for the choice OpenCaptureDevice read (m_OpenedName, m_OpenedId).
    bool CreateCaptureDevice(CaptureType type);
    // WASAPI first, waveIn when WASAPI cannot be opened.
    bool OpenCaptureDevice();
    // Opens the device, retrying about every 10 s while the request stands;
    // with tell, the user hears once that the recording is not running.
    bool OpenWithRetries(bool tell);
    // Runs the device from the set-up on, so that the start second is captured.
    void StartDevice();
    // Whether the device, rate or channels differ from those the device was
    // opened with; maxFileSize receives the split size now set.
    bool SettingsChanged(unsigned& maxFileSize) const;
    // Stops and closes the device, the current recording cut at stopAt.
    void CloseDevice(long long stopAt);
    // The listener's side, under m_CutLock: frames to the current file up
    // to its stop, the rest to the next program or the pre-roll.
    void Route(const char* data, unsigned frames, unsigned long long first);
    void EndCurrentRecording();
    // A recording that took no frame (it made no file) is told as nothing
    // recorded; one of what the PC plays that took nothing but silence, as
    // nothing played; each naming its file (under m_CutLock, before it ends).
    void TellIfNothingTaken();
    void TellNothingRecorded(const wchar_t* prefix);
    // The user hears which device records in place of the chosen one.
    void TellIfStandIn();
    // The recording in m_FilePrefix begins (under m_CutLock): its first
    // file, its level and its silence watch afresh.
    void BeginRecording();
    // Stops recording; with the device stopped, nothing more arrives for it.
    void EndRecording();
    // A new device, rate or channels: the device is opened again for them,
    // the recording running ending at its stop. Decided here alone, whether
    // a start request comes before or after the cut. False: no device open.
    bool ApplySettings(unsigned& maxFileSize);
    void LoadParameters();
    void DestroyCapture();
    // The open-retry loop runs while its request stands and the thread is not told to quit.
    bool TaskStands() const { return !m_bQuit && (m_Task == WM_CAPTURE_OPEN || m_Task == WM_CAPTURE_START); }

    // Why the last WASAPI open failed; the audio thread's.
    HRESULT m_LastOpenError;
    // The device settings the last open chose by, uncut.
    wchar_t m_OpenedName[256];
    wchar_t m_OpenedId[256];
    // The source of the program the device is opened for (set-up or start
    // request); empty: the settings' device. The audio thread's.
    wchar_t m_Source[RecordingParameters::kSourceSize];
    // The device the source chooses: its own for a device source, else the settings'.
    void ChosenDevice(wchar_t* name, wchar_t* id, int size) const;
    // A source not understood is told, and the settings' device records it.
    void TellSource(RecordingParameters* recording);
    // A station's set-up and start; false when memory is short.
    bool StationRecorder();
    void StartStation(RecordingParameters* recording);
};
