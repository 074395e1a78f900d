// The audio controller as the device's listener: on the buffer thread, each
// buffer goes to the current recording's file up to the recording's stop frame, the
// rest to the program that follows back to back, or to the pre-roll.
#include "foundation/Trace.h"
#include "recorder/AudioCtrl.h"
#include "recorder/RecordingLevel.h"

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
            m_PreRoll.Append(data, frames, first, m_pCapture->FrameTime(first));
            return;
        }
        unsigned long long start = m_Current.m_StartAt ? m_pCapture->FrameAt(m_Current.m_StartAt) : 0;
        if (first < start) {
            unsigned skip = first + frames <= start ? frames : static_cast<unsigned>(start - first);
            data += static_cast<size_t>(skip) * align;
            frames -= skip;
            first += skip;
            continue;
        }
        unsigned long long stop = m_Current.m_StopAt ? m_pCapture->FrameAt(m_Current.m_StopAt) : ~0ULL;
        unsigned take = first + frames <= stop ? frames : stop > first ? static_cast<unsigned>(stop - first) : 0;
        if (take > 0) {
            // The start is decided by the first frame taken: later buffers,
            // placed a little differently, never move it.
            m_Current.m_StartAt = 0;
            if (m_bAfterBreak) {
                // The program is still on after the break: it goes on in the next file.
                m_bAfterBreak = false;
                Trace(L"[CAudioCtrl] the recording goes on in the next file after the break\n");
                PostNotice(kNoticeStreamBroke);
            }
            m_pWriter->Append(data, take * align);
            CSilenceWatch::Event level = m_Silence.Feed(data, take * align);
            RecordingLevel::s_Peak = m_Silence.Peak();
            RecordingLevel::s_Frames += take;
            if (level == CSilenceWatch::kSilentMinute) {
                Trace(L"[CAudioCtrl] no sound for a minute\n");
                PostNotice(m_bLoopback ? kNoticeLoopbackSilence : kNoticeSilence);
            } else if (level == CSilenceWatch::kSoundBack) {
                Trace(L"[CAudioCtrl] the sound is back\n");
                PostNotice(kNoticeSoundBack);
            }
            data += static_cast<size_t>(take) * align;
            frames -= take;
            first += take;
        }
        if (frames > 0) {
            long long stopAt = m_Current.m_StopAt;
            EndCurrentRecording();
            if (!m_bRecording) {
                m_EndedStopAt = stopAt;
                m_EndedFrame = first;
            }
        }
    }
}

void CAudioCtrl::OnSoundGap(long long ticks)
{
    EnterCriticalSection(&m_CutLock);
    // Audio from before the break never joins audio after it.
    m_PreRoll.Clear();
    m_EndedStopAt = 0;
    if (m_bRecording) {
        Trace(L"[CAudioCtrl] the stream broke off for %lld s: the file is closed\n", ticks / 10000000LL);
        m_pWriter->Break();
        m_bAfterBreak = true;
    }
    LeaveCriticalSection(&m_CutLock);
}

void CAudioCtrl::OnSourceChanged(const wchar_t* name)
{
    EnterCriticalSection(&m_CutLock);
    bool recording = m_bRecording != 0;
    LeaveCriticalSection(&m_CutLock);
    Trace(L"[CAudioCtrl] the recording goes on from %s\n", name ? name : L"");
    if (recording)
        PostNotice(kNoticeOutputFollowed, name);
}

namespace {

// A recording's file name without its number: the prefix after its folder.
const wchar_t* RecordingName(const wchar_t* prefix)
{
    const wchar_t* name = wcsrchr(prefix, L'\\');
    return name ? name + 1 : prefix;
}

}  // namespace

void CAudioCtrl::TellIfNothingTaken()
{
    if (m_bRecording && !RecordingLevel::s_Frames) {
        TellNothingRecorded(m_Current.m_Prefix);
    } else if (m_bRecording && m_bLoopback && !m_Silence.HeardSound()) {
        Trace(L"[CAudioCtrl] nothing played during the recording\n");
        PostNotice(kNoticeNothingPlayed, RecordingName(m_Current.m_Prefix));
    }
}

void CAudioCtrl::TellNothingRecorded(const wchar_t* prefix)
{
    Trace(L"[CAudioCtrl] nothing was recorded for %s: no file was made\n", prefix);
    PostNotice(kNoticeNothingRecorded, RecordingName(prefix));
}

void CAudioCtrl::EndCurrentRecording()
{
    TellIfNothingTaken();
    m_pWriter->End();
    m_bAfterBreak = false;
    if (!m_bNextPending) {
        Trace(L"[CAudioCtrl] the recording reached its stop\n");
        RecordingLevel::s_Recording = 0;
        m_bRecording = 0;
        m_Current.m_StopAt = m_Current.m_StartAt = 0;
        return;
    }
    Trace(L"[CAudioCtrl] the recording reached its stop: the next program's file takes over\n");
    m_bNextPending = 0;
    m_Current = m_Next;
    m_Current.m_StartAt = 0;  // the cut is where this program starts
    m_Next.m_StopAt = 0;
    BeginRecording();
}

void CAudioCtrl::BeginRecording()
{
    m_bAfterBreak = false;
    m_Silence.Reset(m_Format.nSamplesPerSec, m_Format.nChannels);
    m_pWriter->Begin(m_Current, m_Format);
    RecordingLevel::s_Frames = 0;
    RecordingLevel::s_Peak = 0;
    RecordingLevel::s_Rate = static_cast<LONG>(m_Format.nSamplesPerSec);
    RecordingLevel::s_Recording = 1;
    m_bRecording = 1;
}
