// Turns what a shared-mode stream delivers in the engine's mix format (32-bit
// float as a rule; 8-, 16-, 24- or 32-bit integer PCM too, any number of
// speakers) into the file's 16-bit PCM: the samples, then the speakers mixed
// down or up to the file's channels, then the rate through the speexdsp
// resampler. Every converted packet keeps its place: the device position and
// capture time of its first frame follow from the stream's, so the capture
// clock places converted frames as exactly as the engine's own.
// Used by one thread at a time: whoever holds the device's delivery lock.
#pragma once

#include <windows.h>
#include <mmreg.h>

typedef struct SpeexResamplerState_ SpeexResamplerState;

class CMixConverter {
public:
    static constexpr unsigned long long kUnknownPosition = ~0ULL;
    static constexpr int kMaxChannels = 18;  // every speaker a channel mask names
    // The speexdsp quality for desktop audio: transparent at 16 bits.
    static constexpr int kQuality = 5;

    struct Packet {
        const BYTE* data;  // 16-bit PCM in the file's channels, valid until the next Convert; null: silence
        unsigned frames;
        unsigned long long position;  // in the file's frames; kUnknownPosition when the stream has none
        long long qpc;                // capture time of the first frame; 0 when the stream gave none
    };

    CMixConverter();
    ~CMixConverter();
    CMixConverter(const CMixConverter&) = delete;
    CMixConverter& operator=(const CMixConverter&) = delete;

    // Whether this converter reads a stream format.
    static bool CanRead(const WAVEFORMATEX* from);
    // Prepares the conversion from the stream's format to 16-bit PCM in to's
    // rate and channels; false (and nothing to convert) when from is not a
    // format it reads or the resampler cannot be made.
    bool Setup(const WAVEFORMATEX* from, const WAVEFORMATEX& to);
    // Nothing to convert: the stream delivers the file's format itself.
    void Clear();
    bool IsActive() const { return m_InBlock != 0; }
    bool Resamples() const { return m_pResampler != nullptr; }
    // One packet of the stream (data null: silence), its first frame at the
    // stream's position and capture time. Frames that do not follow the last
    // packet start the resampler afresh.
    Packet Convert(const BYTE* data, unsigned frames, unsigned long long position, long long qpc);
    // A count of the stream's frames in the file's frames.
    unsigned long long ToOutput(unsigned long long frames) const;

private:
    enum Sample { kFloat32, kInt8, kInt16, kInt24, kInt32 };
    void Restart(unsigned long long position);
    bool Reserve(unsigned frames);
    // The weights of each stream channel in the file's channels.
    void BuildMatrix(DWORD mask, int channels);

    Sample m_Sample;
    int m_InChannels, m_OutChannels;
    unsigned m_InBlock;  // bytes per stream frame; 0 when inactive
    unsigned m_InRate, m_OutRate;
    float m_Matrix[2][kMaxChannels];
    SpeexResamplerState* m_pResampler;
    // Buffers that grow to the largest packet: the mapped floats, the
    // resampled ones and the 16-bit result.
    float* m_pMapped;
    float* m_pResampled;
    short* m_pOut;
    unsigned m_Capacity;  // stream frames the buffers hold
    // Where the stream goes on and how far the resampler got since its start.
    unsigned long long m_NextIn;
    unsigned long long m_OutBase;  // the file position of the resampler's first frame
    unsigned long long m_InFed, m_OutMade;
};
