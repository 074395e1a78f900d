#include "files/WaveWriter.h"
#include "files/StreamFile.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "foundation/RecordingNotice.h"
#include "foundation/Trace.h"

#include <cstring>
#include <new>

CWaveWriter::CWaveWriter()
    : m_hNoticeWnd(nullptr), m_DroppedFrames(0),
      m_hWork(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_hThread(nullptr), m_pData(nullptr), m_DataHead(0),
      m_DataTail(0), m_DataUsed(0), m_pCommands(nullptr), m_CommandHead(0), m_CommandCount(0), m_bBusy(false),
      m_bWaiting(false), m_bDropTold(false), m_AppendAlign(1), m_pFile(nullptr), m_pStreamFile(nullptr),
      m_pExtension(L""), m_FileFrames(0), m_FileSamples(0), m_FileRate(0), m_Recording(), m_Number(0), m_Format(),
      m_UnrefreshedSamples(0), m_Refreshes(0), m_UncheckedSamples(0), m_StreamKind(kKindUnknown), m_pHeld(nullptr), m_HeldBytes(0),
      m_bHeldDone(false), m_bLowDiskTold(false), m_bActive(false), m_bBroken(false), m_bFailed(false)
{
    InitializeCriticalSection(&m_QueueLock);
}

CWaveWriter::~CWaveWriter()
{
    Shutdown();
    for (unsigned i = 0; m_pCommands && i < m_CommandCount; ++i) {
        delete m_pCommands[(m_CommandHead + i) % kMaxCommands].recording;
    }
    delete[] m_pCommands;
    delete[] m_pData;
    delete[] m_pHeld;
    if (m_hWork)
        CloseHandle(m_hWork);
    DeleteCriticalSection(&m_QueueLock);
}

void CWaveWriter::Shutdown()
{
    HANDLE thread = m_hThread;
    if (thread) {
        Command quit = Command();
        quit.type = kQuit;
        Push(quit, nullptr);
        if (WaitForSingleObject(thread, kThreadEndMs) != WAIT_OBJECT_0) {
            // A disk that never answers: the file it holds is lost either way.
            Trace(L"[CWaveWriter] the writer thread did not end in %lu ms, terminating it\n", kThreadEndMs);
            TerminateThread(thread, 1);
            WaitForSingleObject(thread, 1000);
        }
        CloseHandle(thread);
        m_hThread = nullptr;
    }
    CloseFile();
}

bool CWaveWriter::Push(const Command& command, const void* data)
{
    // Made on first use, so a controller that never records costs nothing.
    if (!m_pCommands) {
        m_pCommands = new (std::nothrow) Command[kMaxCommands];
        m_pData = new (std::nothrow) char[kQueueBytes];
        if (!m_pCommands || !m_pData) {
            delete[] m_pCommands;
            delete[] m_pData;
            m_pCommands = nullptr;
            m_pData = nullptr;
            return false;
        }
    }
    if (!m_hThread && command.type != kQuit) {
        m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
        if (!m_hThread)
            return false;
    }
    unsigned bytes = command.bytes;
    EnterCriticalSection(&m_QueueLock);
    bool room = m_CommandCount < kMaxCommands && m_DataUsed + bytes <= kQueueBytes;
    LeaveCriticalSection(&m_QueueLock);
    if (!room)
        return false;
    // Only this thread moves the tail: the copy needs no lock.
    if (bytes && data) {
        unsigned first = bytes < kQueueBytes - m_DataTail ? bytes : kQueueBytes - m_DataTail;
        memcpy(m_pData + m_DataTail, data, first);
        memcpy(m_pData, static_cast<const char*>(data) + first, bytes - first);
        m_DataTail = (m_DataTail + bytes) % kQueueBytes;
    }
    EnterCriticalSection(&m_QueueLock);
    m_pCommands[(m_CommandHead + m_CommandCount) % kMaxCommands] = command;
    ++m_CommandCount;
    m_DataUsed += bytes;
    // A signal costs a trip to the kernel: only a waiting writer gets one,
    // and audio alone only when it piles up (the writer looks every kWakeMs).
    bool wake = m_bWaiting && ((command.type != kData && command.type != kFrame) || m_DataUsed >= kHurryBytes);
    if (wake)
        m_bWaiting = false;
    LeaveCriticalSection(&m_QueueLock);
    if (wake)
        SetEvent(m_hWork);
    return true;
}

void CWaveWriter::Begin(const RecordingParameters& recording, const WAVEFORMATEX& format)
{
    Command command = Command();
    command.type = kBegin;
    command.format = format;
    command.recording = new (std::nothrow) RecordingParameters(recording);
    m_bDropTold = false;
    m_AppendAlign = format.nBlockAlign ? format.nBlockAlign : 1;
    if (!command.recording || !Push(command, nullptr)) {
        delete command.recording;
        Trace(L"[CWaveWriter] the recording %s could not be queued\n", recording.m_Prefix);
        PostNotice(kNoticeFileFailed);
    }
}

void CWaveWriter::Append(const void* data, unsigned bytes)
{
    Command command = Command();
    command.type = kData;
    command.bytes = bytes;
    if (!bytes || Push(command, data))
        return;
    InterlockedExchangeAdd(&m_DroppedFrames, static_cast<LONG>(bytes / m_AppendAlign));
    if (!m_bDropTold) {
        m_bDropTold = true;
        Trace(L"[CWaveWriter] the disk is not keeping up: the write queue is full and audio is dropped\n");
        PostNotice(kNoticeQueueFull);
    }
}

void CWaveWriter::BeginStream(const RecordingParameters& recording, StreamKind kind)
{
    Command command = Command();
    command.type = kBegin;
    command.kind = kind;
    command.recording = new (std::nothrow) RecordingParameters(recording);
    m_bDropTold = false;
    if (!RecordingFormat::StreamExtension(kind, kind == kKindOgg ? kOggOpus : kOggNone) || !command.recording ||
        !Push(command, nullptr)) {
        delete command.recording;
        Trace(L"[CWaveWriter] the stream recording %s could not be queued\n", recording.m_Prefix);
        PostNotice(kNoticeFileFailed);
    }
}

bool CWaveWriter::AppendFrame(const StreamFrame& frame)
{
    Command command = Command();
    command.type = kFrame;
    command.bytes = frame.bytes;
    command.frame = frame;
    command.frame.data = nullptr;
    if (!frame.bytes || !frame.data || Push(command, frame.data))
        return frame.bytes && frame.data;
    InterlockedIncrement(&m_DroppedFrames);
    if (!m_bDropTold) {
        m_bDropTold = true;
        Trace(L"[CWaveWriter] the disk is not keeping up: the write queue is full and frames are dropped\n");
        PostNotice(kNoticeQueueFull);
    }
    return false;
}

void CWaveWriter::Title(const wchar_t* text)
{
    Command command = Command();
    command.type = kTitle;
    command.bytes = text ? static_cast<unsigned>(wcslen(text) * sizeof(wchar_t)) : 0;
    if (!Push(command, text))
        Trace(L"[CWaveWriter] a station title was lost: the write queue is full\n");
}

void CWaveWriter::Break()
{
    Command command = Command();
    command.type = kBreak;
    Push(command, nullptr);
}

void CWaveWriter::End()
{
    Command command = Command();
    command.type = kEnd;
    Push(command, nullptr);
}

bool CWaveWriter::Drain(DWORD timeoutMs)
{
    // Audio queued for a writer that waits out its kWakeMs is wanted now.
    EnterCriticalSection(&m_QueueLock);
    bool wake = m_bWaiting && m_CommandCount > 0;
    if (wake)
        m_bWaiting = false;
    LeaveCriticalSection(&m_QueueLock);
    if (wake)
        SetEvent(m_hWork);
    for (DWORD waited = 0;; waited += 2) {
        EnterCriticalSection(&m_QueueLock);
        bool idle = m_CommandCount == 0 && !m_bBusy;
        LeaveCriticalSection(&m_QueueLock);
        if (idle || !m_hThread)
            return true;
        if (waited >= timeoutMs) {
            Trace(L"[CWaveWriter] the disk has not taken the queued audio in %lu ms\n", timeoutMs);
            return false;
        }
        Sleep(2);
    }
}

DWORD WINAPI CWaveWriter::ThreadProc(void* param)
{
    static_cast<CWaveWriter*>(param)->Run();
    return 0;
}

void CWaveWriter::Run()
{
    for (;;) {
        EnterCriticalSection(&m_QueueLock);
        bool any = m_CommandCount > 0;
        Command command = any ? m_pCommands[m_CommandHead] : Command();
        m_bBusy = any;
        m_bWaiting = !any;
        LeaveCriticalSection(&m_QueueLock);
        if (!any) {
            WaitForSingleObject(m_hWork, kWakeMs);
            continue;
        }
        if (command.type == kQuit) {
            EnterCriticalSection(&m_QueueLock);
            m_CommandHead = (m_CommandHead + 1) % kMaxCommands;
            --m_CommandCount;
            m_bBusy = false;
            LeaveCriticalSection(&m_QueueLock);
            CloseFile();
            return;
        }
        // A data command's bytes may wrap around the ring's end.
        char* joined = nullptr;
        const char* data = m_pData + m_DataHead;
        if (command.bytes && m_DataHead + command.bytes > kQueueBytes) {
            joined = new (std::nothrow) char[command.bytes];
            if (joined) {
                unsigned first = kQueueBytes - m_DataHead;
                memcpy(joined, m_pData + m_DataHead, first);
                memcpy(joined + first, m_pData, command.bytes - first);
            }
            data = joined;
        }
        if (data)
            Execute(command, data);
        delete[] joined;
        delete command.recording;
        EnterCriticalSection(&m_QueueLock);
        if (command.bytes) {
            m_DataHead = (m_DataHead + command.bytes) % kQueueBytes;
            m_DataUsed -= command.bytes;
        }
        m_CommandHead = (m_CommandHead + 1) % kMaxCommands;
        --m_CommandCount;
        m_bBusy = false;
        LeaveCriticalSection(&m_QueueLock);
    }
}

void CWaveWriter::Execute(Command& command, const char* data)
{
    switch (command.type) {
    case kBegin:
        CloseFile();  // a file left from an earlier recording is finished first
        PostFiles();
        m_Recording = *command.recording;
        m_Format = command.format;
        // The held Ogg headers are the connection's, not the recording's: a
        // recording that takes over a station's stream goes on with them,
        // a new station's stream begins with its own.
        m_StreamKind = command.kind;
        m_Cue.Begin(m_Recording.m_Tags.m_Title, m_Recording.m_Tags.m_Station);
        m_Number = 0;
        m_UncheckedSamples = 0;
        m_bLowDiskTold = false;
        m_bActive = true;
        m_bFailed = false;
        // The first file waits for the first frame, as one after a break
        // does: a recording that never gets one leaves no file.
        m_bBroken = true;
        break;
    case kData: Write(data, command.bytes); break;
    case kFrame:
        command.frame.data = reinterpret_cast<const unsigned char*>(data);
        WriteFrame(command.frame);
        break;
    case kTitle: SetTitle(data, command.bytes); break;
    case kBreak:
        CloseFile();
        m_bBroken = m_bActive && !m_bFailed;
        break;
    case kEnd:
        CloseFile();
        PostFiles();
        m_bActive = m_bBroken = m_bFailed = false;
        break;
    case kQuit: break;
    }
}

void CWaveWriter::Write(const char* data, unsigned length)
{
    if (!m_bActive || m_bFailed || m_StreamKind != kKindUnknown)
        return;
    if (m_bBroken || (m_pFile && m_pFile->GetSize() >= m_Recording.m_MaxFileSize)) {
        m_bBroken = false;
        CloseFile();
        if (!CreateNumberedFile()) {
            Trace(L"[CWaveWriter] can't create the next %s file of %s\n", m_Recording.m_Format.Extension(), m_Recording.m_Prefix);
            PostNotice(kNoticeFileFailed);
        }
    }
    if (!m_pFile)
        return;
    // A write the disk takes in part is followed by one for the rest; only
    // a write that takes nothing is a failure.
    unsigned done = 0;
    while (done < length) {
        unsigned n = WriteToFile(m_pFile, data + done, length - done);
        if (n == 0)
            break;
        done += n;
    }
    if (done == length) {
        unsigned align = m_Format.nBlockAlign ? m_Format.nBlockAlign : 1;
        m_FileFrames += length / align;
        Written(length / align, m_Format.nSamplesPerSec);
        return;
    }
    // The disk refused the data: finish the file with what it holds. A write
    // cut short can end inside a frame; the data chunk keeps whole frames.
    Failed();
}

void CWaveWriter::Written(unsigned long long samples, unsigned rate)
{
    m_UnrefreshedSamples += samples;
    if (m_UnrefreshedSamples >= static_cast<unsigned long long>(rate) * kRefreshSeconds) {
        m_pFile->RefreshHeader(++m_Refreshes % kFlushRefreshes == 1);
        m_UnrefreshedSamples = 0;
    }
    m_UncheckedSamples += samples;
    if (!m_bLowDiskTold && m_UncheckedSamples >= static_cast<unsigned long long>(rate) * kDiskCheckSeconds) {
        m_UncheckedSamples = 0;
        if (FreeBytes(m_Recording.m_Prefix) < kLowDiskBytes) {
            m_bLowDiskTold = true;
            Trace(L"[CWaveWriter] less than 64 MB free for %s\n", m_Recording.m_Prefix);
            PostNotice(kNoticeLowDisk);
        }
    }
}

void CWaveWriter::Failed()
{
    m_pFile->DropPartialFrame();
    CloseFile();
    m_bFailed = true;
    Trace(L"[CAudioCtrl] a write to the %s file failed: the recording stops\n", m_pExtension);
    PostNotice(kNoticeWriteFailed);
}

void CWaveWriter::WriteFrame(const StreamFrame& frame)
{
    if (!m_bActive || m_bFailed || m_StreamKind == kKindUnknown)
        return;
    bool ogg = frame.codec != kOggNone;
    if (ogg && frame.header)
        HoldHeader(frame);
    else if (ogg)
        m_bHeldDone = true;
    // A page that goes on with a packet of the page before stays in its file.
    bool whole = !ogg || (!frame.header && frame.bytes > 5 && !(frame.data[5] & 1));
    bool full = m_pFile && m_FileFrames > 0 && whole && m_pFile->GetSize() + frame.bytes > m_Recording.m_MaxFileSize;
    // A file that could not be made is tried again after the next break, as for PCM.
    if (m_bBroken || full || (frame.newFormat && m_pFile && m_FileFrames > 0))
        NextStreamFile(frame);
    if (!m_pStreamFile)
        return;
    if (!WriteFrameToFile(m_pStreamFile, frame)) {
        Failed();
        return;
    }
    if (frame.header)
        return;
    ++m_FileFrames;
    if (frame.rate != m_FileRate) {
        m_FileSamples = m_FileRate ? m_FileSamples * frame.rate / m_FileRate : 0;
        m_FileRate = frame.rate;
    }
    m_FileSamples += frame.samples;
    Written(frame.samples, frame.rate);
}

void CWaveWriter::HoldHeader(const StreamFrame& frame)
{
    // The headers of a chain that begins later replace those of the one before.
    if (m_bHeldDone || (frame.data[5] & 2)) {
        m_HeldBytes = 0;
        m_bHeldDone = false;
    }
    static constexpr unsigned kHeldSize = 1 << 18;
    if (!m_pHeld)
        m_pHeld = new (std::nothrow) unsigned char[kHeldSize];
    if (m_pHeld && m_HeldBytes + frame.bytes <= kHeldSize) {
        memcpy(m_pHeld + m_HeldBytes, frame.data, frame.bytes);
        m_HeldBytes += frame.bytes;
    } else {
        // Part of the headers would make later files that no player opens.
        m_HeldBytes = 0;
        Trace(L"[CWaveWriter] the stream's header pages are too large to begin each file with\n");
    }
}

void CWaveWriter::NextStreamFile(const StreamFrame& frame)
{
    m_bBroken = false;
    CloseFile();
    if (!CreateNumberedFile(frame.codec)) {
        Trace(L"[CWaveWriter] can't create the next stream file of %s\n", m_Recording.m_Prefix);
        PostNotice(kNoticeFileFailed);
        return;
    }
    m_Cue.AddFile(m_pStreamFile->m_Path.GetWide());
    // A file that does not begin with the headers themselves begins with a copy of them.
    if (frame.codec == kOggNone || frame.header)
        return;
    for (unsigned at = 0; at < m_HeldBytes;) {
        StreamFrame page = StreamFrame();
        page.data = m_pHeld + at;
        page.bytes = 27u + m_pHeld[at + 26];
        for (unsigned i = 0; i < m_pHeld[at + 26]; ++i)
            page.bytes += m_pHeld[at + 27 + i];
        page.codec = frame.codec;
        page.header = true;
        if (!WriteFrameToFile(m_pStreamFile, page)) {
            Failed();
            return;
        }
        at += page.bytes;
    }
}

void CWaveWriter::SetTitle(const char* data, unsigned bytes)
{
    if (!m_bActive || m_StreamKind == kKindUnknown)
        return;
    // Copied out: the ring keeps no alignment for UTF-16.
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!text.empty())
        memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    // Between files (after a break) it begins the next one.
    m_Cue.SetTitle(text, m_FileSamples, m_pFile ? m_FileRate : 0);
}

void CWaveWriter::PostFiles()
{
    std::wstring cue = m_Cue.Path();
    if (!cue.empty())
        m_Files.Add(cue.c_str());
    m_Cue.Begin(nullptr, nullptr);
    m_Files.Post(m_hNoticeWnd);
}

bool CWaveWriter::WriteFrameToFile(CStreamFile* file, const StreamFrame& frame)
{
    return file->AppendFrame(frame);
}

unsigned long long CWaveWriter::FreeBytes(const wchar_t* path)
{
    return FreeBytesAt(path);
}

unsigned CWaveWriter::WriteToFile(CMediaFile* file, const void* data, unsigned length)
{
    return file->AppendAudio(data, length);
}

void CWaveWriter::CloseFile()
{
    if (m_pFile) {
        // The frames each file took, for whoever checks a decoder's length against them.
        Trace(L"[CWaveWriter] closed %s: %llu frames\n", m_pFile->m_Path.GetWide(), m_FileFrames);
        m_pFile->Close();
        delete m_pFile;
        m_pFile = nullptr;
        m_pStreamFile = nullptr;
    }
}

bool CWaveWriter::CreateNumberedFile(OggCodec codec)
{
    m_UnrefreshedSamples = 0;
    m_Refreshes = 0;
    m_FileFrames = m_FileSamples = 0;
    m_FileRate = 0;
    bool stream = m_StreamKind != kKindUnknown;
    CStreamFile* streamFile = stream ? RecordingFormat::NewStreamFile(m_StreamKind, codec) : nullptr;
    CMediaFile* file = stream ? streamFile : m_Recording.m_Format.NewFile();
    m_pExtension = stream ? RecordingFormat::StreamExtension(m_StreamKind, codec) : m_Recording.m_Format.Extension();
    if (!file)
        return false;
    file->SetTags(m_Recording.m_Tags);
    // An existing file is never overwritten; the recording goes on in the
    // next free number instead of being lost.
    for (int attempt = 0; attempt < kMaxNumberSkips; ++attempt) {
        wchar_t name[kFilePrefixSize + 16];
        int n = FormatText(name, kFilePrefixSize + 16, L"%s_%03u.%s", m_Recording.m_Prefix, m_Number, m_pExtension);
        ++m_Number;
        // A name that does not fit its block is refused rather than cut short.
        if (n >= kFilePrefixSize)
            break;
        int code = stream ? streamFile->CreateStream(name, 0) : file->Create(name, m_Format, 0);
        if (code == 0) {
            m_pFile = file;
            m_pStreamFile = streamFile;
            FileCreated(name);
            m_Files.Add(name);
            return true;
        }
        if (code != -2 || GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES)
            break;
    }
    file->Close();
    delete file;
    return false;
}

void CWaveWriter::PostNotice(WPARAM notice)
{
    PostRecordingNotice(m_hNoticeWnd, notice);
}
