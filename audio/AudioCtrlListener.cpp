// The audio controller as the device's listener: on the buffer thread, each
// buffer goes to the current WAV file up to the recording's stop frame, the
// rest to the program that follows back to back, or to the pre-roll.
#include "audio/AudioCtrl.h"
#include "app/Trace.h"

unsigned CAudioCtrl::OnSoundData(const void* data, unsigned length)
{
    unsigned align = m_Format.nBlockAlign;
    if (!m_pCapture || !align)
        return length;
    unsigned frames = length / align;
    EnterCriticalSection(&m_CutLock);
    unsigned long long captured = m_pCapture->m_CapturedFrames;
    Route(static_cast<const char*>(data), frames, captured >= frames ? captured - frames : 0);
    LeaveCriticalSection(&m_CutLock);
    return length;
}

void CAudioCtrl::Route(const char* data, unsigned frames, unsigned long long first)
{
    unsigned align = m_Format.nBlockAlign;
    while (frames > 0) {
        if (!m_bRecording) {
            m_PreRoll.Append(data, frames, first);
            return;
        }
        unsigned long long stop = m_StopAt ? m_pCapture->FrameAt(m_StopAt) : ~0ULL;
        unsigned take = first + frames <= stop ? frames : stop > first ? static_cast<unsigned>(stop - first) : 0;
        if (take > 0) {
            WriteData(data, take * align);
            data += static_cast<size_t>(take) * align;
            frames -= take;
            first += take;
        }
        if (frames > 0)
            EndCurrentRecording();
    }
}

void CAudioCtrl::EndCurrentRecording()
{
    DestroyFile();
    if (!m_bNextPending) {
        Trace(L"[CAudioCtrl] the recording reached its stop\n");
        m_bRecording = 0;
        m_StopAt = 0;
        return;
    }
    Trace(L"[CAudioCtrl] the recording reached its stop: the next program's file takes over\n");
    m_pWaveFile = m_pNextFile;
    m_pNextFile = nullptr;
    m_bNextPending = 0;
    lstrcpynW(m_FilePrefix, m_NextPrefix, kFilePrefixSize);
    m_FileNumber = m_NextNumber;
    m_StopAt = m_NextStopAt;
    m_NextStopAt = 0;
    m_MaxFileSize = m_NextMaxFileSize;
    m_UnrefreshedBytes = 0;
}

void CAudioCtrl::WriteData(const void* data, unsigned length)
{
    if (m_pWaveFile && m_pWaveFile->GetSize() >= m_MaxFileSize) {
        DestroyFile();
        if (!OpenNextFile()) {
            Trace(L"[CAudioCtrl] can't create the next WAV file\n");
            PostNotice(kNoticeFileFailed);
        }
    }
    if (!m_pWaveFile)
        return;
    if (m_pWaveFile->Write(data, length) != 0) {
        m_UnrefreshedBytes += length;
        if (m_UnrefreshedBytes >= static_cast<unsigned long long>(m_Format.nAvgBytesPerSec) * kRefreshSeconds) {
            m_pWaveFile->RefreshHeader();
            m_UnrefreshedBytes = 0;
        }
        return;
    }
    // The disk refused the data: finish the file with what it holds. A write
    // cut short can end inside a frame; the data chunk keeps whole frames.
    m_pWaveFile->DropPartialFrame();
    DestroyFile();
    Trace(L"[CAudioCtrl] a write to the WAV file failed: the recording stops\n");
    PostNotice(kNoticeWriteFailed);
}
