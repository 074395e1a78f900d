#include "capture/MixConverter.h"
#include "foundation/Trace.h"

#include <cmath>
#include <new>
#include <speex/speex_resampler.h>

namespace {

// The subformats of WAVE_FORMAT_EXTENSIBLE share this GUID but for Data1
// (1 integer PCM, 3 float), so no media-type library is needed.
const GUID kSubtypeBase = {0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// What a format holds: tag 1 (PCM) or 3 (float), its speaker mask (0: none given).
WORD FormatTag(const WAVEFORMATEX* format, DWORD* mask)
{
    *mask = 0;
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE)
        return format->wFormatTag;
    if (format->cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
        return 0;
    const WAVEFORMATEXTENSIBLE* x = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
    GUID base = x->SubFormat;
    base.Data1 = 0;
    if (!IsEqualGUID(base, kSubtypeBase) || x->SubFormat.Data1 > 0xFFFF)
        return 0;
    *mask = x->dwChannelMask;
    return static_cast<WORD>(x->SubFormat.Data1);
}

// Where each speaker goes in a stereo file, by its bit in the channel mask
// (front, centre, LFE, back, side, the top ones): the usual downmix, the
// centre and the surrounds at -3 dB, the LFE left out.
const float kSide = 0.70710678f;
const float kSpeakerWeights[18][2] = {
    {1, 0}, {0, 1}, {kSide, kSide}, {0, 0}, {kSide, 0}, {0, kSide}, {1, 0}, {0, 1}, {0.5f, 0.5f},
    {kSide, 0}, {0, kSide}, {0.5f, 0.5f}, {kSide, 0}, {0.5f, 0.5f}, {0, kSide}, {kSide, 0}, {0.5f, 0.5f}, {0, kSide}};

// Little-endian bytes as a signed 32-bit sample (24-bit ones left-justified).
int Signed32(unsigned b0, unsigned b1, unsigned b2, unsigned b3)
{
    return static_cast<int>(b0 | b1 << 8 | b2 << 16 | b3 << 24);
}

short ToPcm16(float x)
{
    float v = x * 32768.0f;
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return static_cast<short>(lrintf(v));
}

}  // namespace

CMixConverter::CMixConverter()
    : m_Sample(kFloat32), m_InChannels(0), m_OutChannels(0), m_InBlock(0), m_InRate(0), m_OutRate(0), m_Matrix(),
      m_pResampler(nullptr), m_pMapped(nullptr), m_pResampled(nullptr), m_pOut(nullptr), m_Capacity(0),
      m_NextIn(kUnknownPosition), m_OutBase(kUnknownPosition), m_InFed(0), m_OutMade(0)
{
}

CMixConverter::~CMixConverter()
{
    Clear();
}

void CMixConverter::Clear()
{
    if (m_pResampler)
        speex_resampler_destroy(m_pResampler);
    m_pResampler = nullptr;
    delete[] m_pMapped;
    delete[] m_pResampled;
    delete[] m_pOut;
    m_pMapped = m_pResampled = nullptr;
    m_pOut = nullptr;
    m_Capacity = 0;
    m_InBlock = 0;
}

bool CMixConverter::CanRead(const WAVEFORMATEX* from)
{
    DWORD mask;
    WORD tag = from ? FormatTag(from, &mask) : 0;
    WORD bits = from ? from->wBitsPerSample : 0;
    bool known = (tag == WAVE_FORMAT_IEEE_FLOAT && bits == 32) ||
                 (tag == WAVE_FORMAT_PCM && (bits == 8 || bits == 16 || bits == 24 || bits == 32));
    return known && from->nChannels >= 1 && from->nChannels <= kMaxChannels && from->nSamplesPerSec > 0 &&
           from->nBlockAlign == from->nChannels * bits / 8;
}

bool CMixConverter::Setup(const WAVEFORMATEX* from, const WAVEFORMATEX& to)
{
    Clear();
    if (!CanRead(from) || to.nChannels < 1 || to.nChannels > 2 || !to.nSamplesPerSec)
        return false;
    DWORD mask;
    WORD tag = FormatTag(from, &mask);
    m_Sample = tag == WAVE_FORMAT_IEEE_FLOAT ? kFloat32
               : from->wBitsPerSample == 8   ? kInt8
               : from->wBitsPerSample == 16  ? kInt16
               : from->wBitsPerSample == 24  ? kInt24
                                             : kInt32;
    m_InChannels = from->nChannels;
    m_OutChannels = to.nChannels;
    m_InRate = from->nSamplesPerSec;
    m_OutRate = to.nSamplesPerSec;
    BuildMatrix(mask, m_InChannels);
    if (m_InRate != m_OutRate) {
        int error = 0;
        m_pResampler = speex_resampler_init(static_cast<spx_uint32_t>(m_OutChannels), m_InRate, m_OutRate, kQuality, &error);
        if (!m_pResampler) {
            Trace(L"CMixConverter: no resampler from %u to %u Hz (%d)\n", m_InRate, m_OutRate, error);
            return false;
        }
    }
    m_InBlock = from->nBlockAlign;
    m_NextIn = kUnknownPosition;
    Restart(kUnknownPosition);
    Trace(L"CMixConverter: %d-bit %s, %d channels at %u Hz to 16-bit PCM, %d channels at %u Hz\n", from->wBitsPerSample,
          m_Sample == kFloat32 ? L"float" : L"integer", m_InChannels, m_InRate, m_OutChannels, m_OutRate);
    return true;
}

void CMixConverter::BuildMatrix(DWORD mask, int channels)
{
    // Without a mask (or one short of the channels) the speakers are in the
    // standard order; one channel alone is mono, whatever its mask says.
    int named = 0;
    for (DWORD m = mask; m; m &= m - 1)
        ++named;
    if (named < channels)
        mask = channels >= 32 ? ~0u : (1u << channels) - 1;
    float stereo[2][kMaxChannels] = {};
    int c = 0;
    for (int bit = 0; bit < 32 && c < channels; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        for (int side = 0; side < 2; ++side)
            stereo[side][c] = channels == 1 ? 1.0f : bit < 18 ? kSpeakerWeights[bit][side] : 0.0f;
        ++c;
    }
    // A full mix into two speakers stays below full scale.
    for (int side = 0; side < 2; ++side) {
        float sum = 0;
        for (int i = 0; i < channels; ++i)
            sum += stereo[side][i];
        for (int i = 0; i < channels && sum > 1.0f; ++i)
            stereo[side][i] /= sum;
    }
    for (int i = 0; i < kMaxChannels; ++i) {
        m_Matrix[0][i] = m_OutChannels == 1 ? (stereo[0][i] + stereo[1][i]) / 2 : stereo[0][i];
        m_Matrix[1][i] = stereo[1][i];
    }
}

void CMixConverter::Restart(unsigned long long position)
{
    if (m_pResampler) {
        speex_resampler_reset_mem(m_pResampler);
        speex_resampler_skip_zeros(m_pResampler);
    }
    m_OutBase = position == kUnknownPosition ? kUnknownPosition : ToOutput(position);
    m_InFed = m_OutMade = 0;
}

unsigned long long CMixConverter::ToOutput(unsigned long long frames) const
{
    if (!m_InRate || m_InRate == m_OutRate)
        return frames;
    return frames / m_InRate * m_OutRate + (frames % m_InRate * m_OutRate + m_InRate / 2) / m_InRate;
}

bool CMixConverter::Reserve(unsigned frames)
{
    if (frames <= m_Capacity)
        return true;
    unsigned capacity = frames + frames / 2;
    size_t resampled = static_cast<size_t>(ToOutput(capacity) + 64) * m_OutChannels;
    delete[] m_pMapped;
    delete[] m_pResampled;
    delete[] m_pOut;
    m_pMapped = new (std::nothrow) float[static_cast<size_t>(capacity) * m_OutChannels];
    m_pResampled = new (std::nothrow) float[resampled];
    m_pOut = new (std::nothrow) short[resampled > static_cast<size_t>(capacity) * m_OutChannels ? resampled : static_cast<size_t>(capacity) * m_OutChannels];
    m_Capacity = m_pMapped && m_pResampled && m_pOut ? capacity : 0;
    return m_Capacity != 0;
}

CMixConverter::Packet CMixConverter::Convert(const BYTE* data, unsigned frames, unsigned long long position, long long qpc)
{
    Packet out = {nullptr, 0, position, qpc};
    if (!IsActive() || !frames)
        return out;
    if (!Reserve(frames)) {
        Trace(L"CMixConverter: no memory for %u frames, dropped\n", frames);
        return out;
    }
    // A packet that does not follow the one before starts the resampler afresh.
    if (position != kUnknownPosition && position != m_NextIn)
        Restart(position);
    m_NextIn = position == kUnknownPosition ? kUnknownPosition : position + frames;
    // Silence stays silence, frame for frame, unless it is resampled.
    if (!data && !m_pResampler) {
        out.frames = frames;
        return out;
    }

    float in[kMaxChannels];
    for (unsigned f = 0; f < frames; ++f) {
        const BYTE* p = data ? data + static_cast<size_t>(f) * m_InBlock : nullptr;
        for (int c = 0; c < m_InChannels; ++c) {
            float v = 0;
            if (p) {
                switch (m_Sample) {
                case kFloat32: memcpy(&v, p + 4 * c, 4); break;
                case kInt8: v = (p[c] - 128) / 128.0f; break;
                case kInt16: v = static_cast<short>(p[2 * c] | p[2 * c + 1] << 8) / 32768.0f; break;
                case kInt24: v = Signed32(0, p[3 * c], p[3 * c + 1], p[3 * c + 2]) / 2147483648.0f; break;
                case kInt32: v = Signed32(p[4 * c], p[4 * c + 1], p[4 * c + 2], p[4 * c + 3]) / 2147483648.0f; break;
                }
            }
            in[c] = v;
        }
        float* o = m_pMapped + static_cast<size_t>(f) * m_OutChannels;
        for (int side = 0; side < m_OutChannels; ++side) {
            float sum = 0;
            for (int c = 0; c < m_InChannels; ++c)
                sum += m_Matrix[side][c] * in[c];
            o[side] = sum;
        }
    }

    const float* result = m_pMapped;
    unsigned made = frames;
    if (m_pResampler) {
        // The resampler's frame k stands for the stream's frame k * in / out
        // since its start: that gives the converted packet's place.
        long long ahead = static_cast<long long>(m_OutMade * m_InRate) - static_cast<long long>(m_InFed * m_OutRate);
        out.qpc = qpc ? qpc + static_cast<long long>(std::llround(static_cast<double>(ahead) * 1e7 / (static_cast<double>(m_InRate) * m_OutRate))) : 0;
        out.position = m_OutBase == kUnknownPosition ? kUnknownPosition : m_OutBase + m_OutMade;
        spx_uint32_t room = static_cast<spx_uint32_t>(ToOutput(m_Capacity) + 64);
        spx_uint32_t taken = frames;
        spx_uint32_t given = room;
        speex_resampler_process_interleaved_float(m_pResampler, m_pMapped, &taken, m_pResampled, &given);
        if (taken < frames)
            Trace(L"CMixConverter: the resampler took %u of %u frames\n", taken, frames);
        m_InFed += frames;
        m_OutMade += given;
        result = m_pResampled;
        made = given;
    }
    for (size_t i = 0; i < static_cast<size_t>(made) * m_OutChannels; ++i)
        m_pOut[i] = ToPcm16(result[i]);
    out.data = reinterpret_cast<const BYTE*>(m_pOut);
    out.frames = made;
    return out;
}
