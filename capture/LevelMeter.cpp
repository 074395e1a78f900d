#include "capture/LevelMeter.h"
#include "capture/LoopbackCapture.h"
#include "foundation/ComPtr.h"
#include "foundation/Trace.h"

#include <cmath>
#include <new>

CLevelMeter::CLevelMeter()
    : m_pClient(nullptr), m_Error(S_OK), m_Channels(0), m_Peak(), m_HeldDb(-96), m_HeldAt(0), m_LastSound(0)
{
}

CLevelMeter::~CLevelMeter()
{
    Stop();
}

bool CLevelMeter::Start(const wchar_t* endpointId, int rate, int channels)
{
    Stop();
    m_Channels = channels < 1 ? 1 : channels > 2 ? 2 : channels;
    m_Peak[0] = m_Peak[1] = 0;
    m_HeldDb = -96;
    m_LastSound = m_HeldAt = GetTickCount();
    // What the PC plays is metered as recorded: a loopback stream.
    CWasapiCapture* client = CLoopbackCapture::ForSettingsId(endpointId);
    if (!client) {
        m_Error = E_OUTOFMEMORY;
        return false;
    }
    client->Initialize(this);
    ComScope com;  // the page's thread may have none
    if (!client->Open(m_Channels, rate, 16, 0) || !client->Start()) {
        m_Error = FAILED(client->m_OpenError) ? client->m_OpenError : E_FAIL;
        Trace(L"CLevelMeter: the device cannot be metered (0x%08X)\n", static_cast<unsigned>(m_Error));
        delete client;
        return false;
    }
    m_Error = S_OK;
    m_pClient = client;
    return true;
}

void CLevelMeter::Stop()
{
    // Closing ends the client's buffer thread before it is gone.
    delete m_pClient;
    m_pClient = nullptr;
}

double CLevelMeter::ToDb(int peak)
{
    return peak <= 0 ? -96.0 : 20.0 * std::log10(peak / 32768.0);
}

CLevelMeter::Reading CLevelMeter::Read()
{
    Reading r;
    r.channels = m_Channels;
    DWORD now = GetTickCount();
    int loudest = 0;
    for (int c = 0; c < m_Channels; ++c) {
        int peak = static_cast<int>(InterlockedExchange(&m_Peak[c], 0));
        r.db[c] = ToDb(peak);
        loudest = peak > loudest ? peak : loudest;
    }
    double db = ToDb(loudest);
    double fallen = m_HeldDb - (now - m_HeldAt > kHoldMs ? (now - m_HeldAt - kHoldMs) / 100.0 : 0.0);
    if (db >= fallen) {
        m_HeldDb = db;
        m_HeldAt = now;
    }
    r.heldDb = db >= fallen ? db : fallen;
    if (loudest >= CSilenceWatch::kSilentPeak)
        m_LastSound = now;
    r.noSound = IsRunning() && now - m_LastSound >= kNoSoundMs;
    return r;
}

unsigned CLevelMeter::OnSoundData(const void* data, unsigned length)
{
    const short* samples = static_cast<const short*>(data);
    int channels = m_Channels, peak[2] = {0, 0};
    for (unsigned i = 0; i < length / 2; ++i) {
        int v = samples[i] < 0 ? -samples[i] : samples[i];
        int& p = peak[i % channels];
        p = v > p ? v : p;
    }
    for (int c = 0; c < channels; ++c) {
        LONG seen = m_Peak[c];
        while (peak[c] > seen) {
            LONG was = InterlockedCompareExchange(&m_Peak[c], peak[c], seen);
            if (was == seen)
                break;
            seen = was;
        }
    }
    return length;
}
