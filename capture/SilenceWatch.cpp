#include "capture/SilenceWatch.h"

CSilenceWatch::Event CSilenceWatch::Feed(const void* data, unsigned bytes)
{
    const short* samples = static_cast<const short*>(data);
    unsigned count = bytes / 2;
    int peak = 0;
    for (unsigned i = 0; i < count; ++i) {
        int v = samples[i] < 0 ? -samples[i] : samples[i];
        if (v > peak)
            peak = v;
    }
    m_Peak = peak;
    if (peak >= kSilentPeak) {
        m_SilentFrames = 0;
        m_bHeard = true;
        if (!m_bAlarmed)
            return kNothing;
        m_bAlarmed = false;
        return kSoundBack;
    }
    m_SilentFrames += count / m_Channels;
    if (m_bAlarmed || m_SilentFrames < static_cast<unsigned long long>(m_Rate) * kAlarmSeconds)
        return kNothing;
    m_bAlarmed = true;
    return kSilentMinute;
}
