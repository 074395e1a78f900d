// Watches a recording's level: the peak of every buffer, and whether it has
// stayed below -60 dBFS for a minute on end (the wrong device chosen, a
// muted input, a level at zero, a blocked microphone delivering zeros).
// Owned by whichever thread feeds it; it takes no lock.
#pragma once

class CSilenceWatch {
public:
    // -60 dBFS of a 16-bit sample.
    static constexpr int kSilentPeak = 33;
    static constexpr unsigned kAlarmSeconds = 60;

    enum Event { kNothing, kSilentMinute, kSoundBack };

    void Reset(unsigned rate, unsigned channels)
    {
        m_Rate = rate ? rate : 1;
        m_Channels = channels ? channels : 1;
        m_SilentFrames = 0;
        m_bAlarmed = false;
        m_bHeard = false;
        m_Peak = 0;
    }
    // One buffer of 16-bit PCM; what it means for the alarm.
    Event Feed(const void* data, unsigned bytes);
    // The peak of the last buffer, 0 to 32768.
    int Peak() const { return m_Peak; }
    // Whether any buffer since the reset reached the alarm's peak.
    bool HeardSound() const { return m_bHeard; }

private:
    unsigned m_Rate = 1, m_Channels = 1;
    unsigned long long m_SilentFrames = 0;
    bool m_bAlarmed = false;
    bool m_bHeard = false;
    int m_Peak = 0;
};
