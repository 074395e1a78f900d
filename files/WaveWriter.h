// The disk side of the recordings. A thread of its own creates the files
// (WAV, FLAC or Opus: the encoding runs here too; or a station's stream as
// it sends it, in whole frames, with its CUE sheet), appends the audio, splits
// at the size limit and refreshes the headers, all taken from a bounded queue: a disk, USB stick or network
// share that stalls never holds up the capture thread, and one that stalls
// longer than the queue holds costs the frames that did not fit, counted
// and told once, never a blocked capture.
#pragma once

#include "files/CueSheet.h"
#include "files/MediaFile.h"
#include "files/RecordingFiles.h"
#include "files/RecordingParameters.h"
#include "foundation/Messages.h"
#include "frames/StreamFrame.h"
#include "frames/StreamSniff.h"

#include <windows.h>

class CStreamFile;

class CWaveWriter {
public:
    // The queue holds this much of the largest format (96 kHz stereo).
    static constexpr unsigned kQueueSeconds = 32;
    static constexpr unsigned kQueueBytes = 96000 * 4 * kQueueSeconds;
    static constexpr unsigned kMaxCommands = 8192;
    // The header is rewritten after this much audio, so a recording cut off
    // by a crash keeps all but its last second or so (the system holds what
    // was written), and every kFlushRefreshes-th refresh is flushed to the
    // disk, so one cut off by a power loss keeps all but its last seconds.
    // A flush each second would double what the recording costs the system
    // (under Wine its server does the flush).
    static constexpr unsigned kRefreshSeconds = 1;
    static constexpr unsigned kFlushRefreshes = 5;
    // Audio waits in the queue at most this long: the writer is not woken
    // for every buffer (a trip through the kernel and a thread switch, 30
    // times a second) but looks this often, and at once for anything other
    // than audio or when the queue is filling.
    static constexpr DWORD kWakeMs = 250;
    static constexpr unsigned kHurryBytes = kQueueBytes / 8;
    // How many taken file numbers a new file passes over before giving up.
    static constexpr int kMaxNumberSkips = 1000;
    // Under this much free space while recording, the user is told once.
    static constexpr unsigned long long kLowDiskBytes = 64ULL << 20;
    static constexpr unsigned kDiskCheckSeconds = 10;
    // How long the thread's end waits for a stalled disk before killing it.
    static constexpr DWORD kThreadEndMs = 15000;

    CWaveWriter();
    virtual ~CWaveWriter();
    CWaveWriter(const CWaveWriter&) = delete;
    CWaveWriter& operator=(const CWaveWriter&) = delete;

    // The producer's side: one thread at a time (the audio controller calls
    // it under its cut lock). None of these waits for the disk.
    // A recording: its first file prefix_NNN.wav (.flac, .opus) from 000 on,
    // made with its first audio (none comes: no file is left); split into
    // the next number whenever a file reaches the split size (a WAV file's
    // data, the others' whole size). The PCM comes in format; the tags go
    // into the files that have room for them. The span is not the writer's.
    void Begin(const RecordingParameters& recording, const WAVEFORMATEX& format);
    void Append(const void* data, unsigned bytes);
    // The current file is finished; the recording goes on in the next
    // number when data comes again (none comes: no empty file is left).
    void Break();
    // The recording is finished.
    void End();

    // A station's stream (kind MP3, AAC or Ogg), recorded as it is sent: its
    // files prefix_NNN.mp3 (.aac, Ogg Opus .opus, Ogg Vorbis .ogg) from 000
    // on, made with the first frame, each a whole that plays alone. A file
    // is split before the frame (Ogg: the page that begins a packet) that
    // would take it past the split size, and the next number begins where
    // the format changes (a frame's newFormat). The tags' title, start and
    // station go into the MP3 files' tag and the CUE sheet (prefix_NNN.cue,
    // the first file's number), listed last among the recording's files.
    // Break and End as above. A recording that takes over a stream already
    // running (End, then BeginStream, the frames going on) begins its Ogg
    // files with that stream's headers; its title in the sheet is the
    // program's until Title is called again.
    void BeginStream(const RecordingParameters& recording, StreamKind kind);
    // One whole frame or page as CFrameSplitter hands it on; false when the
    // full queue dropped it (counted in m_DroppedFrames, told once).
    bool AppendFrame(const StreamFrame& frame);
    // The station's title from the next frame on, for the CUE sheet: a
    // StreamTitle as CIcyMetadata decodes it (foundation/TitleText.h).
    void Title(const wchar_t* text);

    // Waits until everything queued is on disk; false when the time ran out.
    bool Drain(DWORD timeoutMs);
    // Ends the thread once the queue is written.
    void Shutdown();

    // Receives WM_RECORDING_NOTICE; set before Begin.
    HWND volatile m_hNoticeWnd;
    // Frames the full queue could not take, since the writer was made.
    volatile LONG m_DroppedFrames;

protected:
    // Seams for the tests: one write to the file (a stalling disk), and
    // each file as it is made.
    virtual unsigned WriteToFile(CMediaFile* file, const void* data, unsigned length);
    virtual bool WriteFrameToFile(CStreamFile* file, const StreamFrame& frame);
    virtual void FileCreated(const wchar_t* name) { (void)name; }
    // Bytes free to the user where the recording goes; ~0 when not known.
    virtual unsigned long long FreeBytes(const wchar_t* path);

private:
    enum CommandType { kBegin, kData, kFrame, kTitle, kBreak, kEnd, kQuit };
    struct Command {
        CommandType type;
        unsigned bytes;       // kData, kFrame, kTitle: that many bytes at the data ring's head
        RecordingParameters* recording;  // kBegin: owned by the command
        WAVEFORMATEX format;             // kBegin of PCM
        StreamKind kind;                 // kBegin: kKindUnknown for PCM
        StreamFrame frame;               // kFrame: all but its data
    };

    static DWORD WINAPI ThreadProc(void* param);
    void Run();
    bool Push(const Command& command, const void* data);
    void Execute(Command& command, const char* data);
    void Write(const char* data, unsigned length);
    void WriteFrame(const StreamFrame& frame);
    // A new file of the stream for this frame, begun with the held header pages.
    void NextStreamFile(const StreamFrame& frame);
    void HoldHeader(const StreamFrame& frame);
    void SetTitle(const char* data, unsigned bytes);
    // After samples more at rate: the header refreshed, the free space looked at.
    void Written(unsigned long long samples, unsigned rate);
    void Failed();
    void CloseFile();
    // The recording's files to the notice window, its CUE sheet last.
    void PostFiles();
    // The first free file prefix_NNN.ext from m_Number on, created (a
    // stream's of that codec); false when none can be.
    bool CreateNumberedFile(OggCodec codec = kOggNone);
    void PostNotice(WPARAM notice);

    // The queue: written by the producer, read by the writer thread; the
    // counts and indexes under m_QueueLock (taken inside the controller's
    // cut lock, never around a file operation).
    CRITICAL_SECTION m_QueueLock;
    HANDLE m_hWork;   // signalled when something is queued
    HANDLE volatile m_hThread;
    char* m_pData;
    unsigned m_DataHead, m_DataTail, m_DataUsed;
    Command* m_pCommands;  // kMaxCommands of them
    unsigned m_CommandHead, m_CommandCount;
    bool m_bBusy;  // the writer thread is executing a command taken off the queue
    bool m_bWaiting;  // the writer thread waits for m_hWork: only then is it signalled
    // The producer's own: the full queue was told of in this recording, and
    // the frame size the drops are counted in.
    bool m_bDropTold;
    unsigned m_AppendAlign;

    // The writer thread's own: the recording being written.
    CMediaFile* m_pFile;
    CStreamFile* m_pStreamFile;       // the same file, of a stream
    const wchar_t* m_pExtension;      // the current file's
    unsigned long long m_FileFrames;  // the frames the current file took
    unsigned long long m_FileSamples; // a stream file's duration so far, at m_FileRate
    unsigned m_FileRate;
    RecordingParameters m_Recording;
    unsigned m_Number;
    WAVEFORMATEX m_Format;
    unsigned long long m_UnrefreshedSamples;
    unsigned m_Refreshes;  // of the current file
    unsigned long long m_UncheckedSamples;  // written since the free space was looked at
    // A stream's: its kind (kKindUnknown: PCM), its Ogg header pages as the
    // stream gave them (every file of it begins with them), and its CUE sheet.
    StreamKind m_StreamKind;
    unsigned char* m_pHeld;
    unsigned m_HeldBytes;
    bool m_bHeldDone;  // audio came after them: the next header page begins a new set
    CCueSheet m_Cue;   // and the station's title in effect
    bool m_bLowDiskTold;
    bool m_bActive;   // a recording is open
    bool m_bBroken;   // its next (or first) file waits for data
    bool m_bFailed;   // a write failed: its audio is dropped until the next recording
    CRecordingFiles m_Files;  // the recording's files so far, told of at its end
};
