#include "stream/SegmentDemuxer.h"

#include "foundation/Trace.h"
#include "frames/AdtsHeader.h"
#include "frames/Mp3Header.h"

#include <windows.h>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace {

constexpr int kIoBufferSize = 16384;
// What libavformat may open: nothing else is built in, and nothing else
// is a station's segment.
constexpr char kFormats[] = "mpegts,aac,mov,mp3";
// The PRIV frame of packed audio: the first frame's MPEG-TS timestamp.
constexpr char kTimestampKey[] = "id3v2_priv.com.apple.streaming.transportStreamTimestamp";

// libavformat's own errors go to the program's trace; its chatter nowhere.
void LogToTrace(void* context, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    char line[512];
    int prefix = 1;
    av_log_format_line2(context, level, format, args, line, sizeof(line), &prefix);
    size_t n = strlen(line);
    Trace(L"[FFmpeg] %hs%s", line, n && line[n - 1] == '\n' ? L"" : L"\n");
}

BOOL CALLBACK RouteLog(PINIT_ONCE, void*, void**)
{
    av_log_set_callback(LogToTrace);
    return TRUE;
}

INIT_ONCE g_LogRouted = INIT_ONCE_STATIC_INIT;

void TraceError(const wchar_t* what, int error)
{
    char text[128];
    if (av_strerror(error, text, sizeof(text)) < 0)
        strcpy(text, "unknown error");
    Trace(L"[CSegmentDemuxer] %s: %hs\n", what, text);
}

SegmentResult ResultOf(int error)
{
    return error == AVERROR(ENOMEM) ? kSegmentNoMemory : kSegmentDamaged;
}

// An AudioSpecificConfig read bit by bit; past its end every bit is 0.
class CBits {
public:
    CBits(const unsigned char* p, int size) : m_p(p), m_Size(size) {}
    unsigned Get(int count)
    {
        unsigned value = 0;
        for (; count > 0; --count, ++m_At) {
            unsigned bit = m_At / 8 < m_Size ? (m_p[m_At / 8] >> (7 - m_At % 8)) & 1 : 0;
            value = value << 1 | bit;
        }
        return value;
    }
    bool Over() const { return m_At > m_Size * 8; }

private:
    const unsigned char* m_p;
    unsigned m_Size;
    unsigned m_At = 0;
};

}  // namespace

CSegmentDemuxer::CSegmentDemuxer()
{
    InitOnceExecuteOnce(&g_LogRouted, RouteLog, nullptr, nullptr);
}

CSegmentDemuxer::~CSegmentDemuxer()
{
    Close();
}

void CSegmentDemuxer::Close()
{
    if (m_pFormat)
        avformat_close_input(&m_pFormat);
    if (m_pIo) {
        av_freep(&m_pIo->buffer);  // libavformat may have put another buffer in its place
        avio_context_free(&m_pIo);
    }
    av_packet_free(&m_pPacket);
    m_pInit = m_pData = nullptr;
    m_InitSize = m_Size = m_At = 0;
    m_Stream = -1;
    m_Kind = kKindUnknown;
    m_Raw = m_Started = false;
    m_Offset = m_Next = 0;
    m_Dropped = m_Rate = m_Channels = m_Profile = 0;
}

int CSegmentDemuxer::Read(void* opaque, unsigned char* buffer, int size)
{
    auto* self = static_cast<CSegmentDemuxer*>(opaque);
    size_t total = self->m_InitSize + self->m_Size;
    if (self->m_At >= total || size <= 0)
        return AVERROR_EOF;
    size_t n = 0;
    while (n < static_cast<size_t>(size) && self->m_At < total) {
        bool init = self->m_At < self->m_InitSize;
        const unsigned char* from = init ? self->m_pInit + self->m_At : self->m_pData + (self->m_At - self->m_InitSize);
        size_t left = (init ? self->m_InitSize : total) - self->m_At;
        size_t piece = left < size - n ? left : size - n;
        memcpy(buffer + n, from, piece);
        n += piece;
        self->m_At += piece;
    }
    return static_cast<int>(n);
}

int64_t CSegmentDemuxer::Seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<CSegmentDemuxer*>(opaque);
    int64_t total = static_cast<int64_t>(self->m_InitSize + self->m_Size);
    int64_t at;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return total;
    case SEEK_SET:
        at = offset;
        break;
    case SEEK_CUR:
        at = static_cast<int64_t>(self->m_At) + offset;
        break;
    case SEEK_END:
        at = total + offset;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (at < 0 || at > total)
        return AVERROR(EINVAL);
    self->m_At = static_cast<size_t>(at);
    return at;
}

SegmentResult CSegmentDemuxer::Open(const unsigned char* data, size_t size, const unsigned char* init,
                                    size_t initSize)
{
    Close();
    m_Result = kSegmentDamaged;
    if (!data || !size || (initSize && !init) || size + initSize > 0x7FFFFFFF) {
        Trace(L"[CSegmentDemuxer] a segment of %zu bytes (%zu before it) cannot be opened\n", size, initSize);
        return m_Result;
    }
    m_pData = data;
    m_Size = size;
    m_pInit = init;
    m_InitSize = init ? initSize : 0;

    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    m_pIo = buffer ? avio_alloc_context(buffer, kIoBufferSize, 0, this, Read, nullptr, Seek) : nullptr;
    m_pFormat = m_pIo ? avformat_alloc_context() : nullptr;
    m_pPacket = m_pFormat ? av_packet_alloc() : nullptr;
    if (!m_pPacket || !(m_pFormat->format_whitelist = av_strdup(kFormats))) {
        if (!m_pIo)
            av_free(buffer);
        Close();
        return m_Result = kSegmentNoMemory;
    }
    m_pFormat->pb = m_pIo;
    m_pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    // On failure libavformat frees the context, never the I/O it was given.
    int error = avformat_open_input(&m_pFormat, nullptr, nullptr, nullptr);
    if (error < 0) {
        TraceError(L"no segment FFmpeg can open", error);
        Close();
        return m_Result = ResultOf(error);
    }
    SegmentResult found = FindAudio();
    if (found != kSegmentOk) {
        Close();
        return m_Result = found;
    }
    // Raw ADTS and MP3 count from 0, and leave the first frame's time unset.
    m_Next = m_Offset = TagSeconds();
    return m_Result = kSegmentOk;
}

SegmentResult CSegmentDemuxer::FindAudio()
{
    unsigned audio = 0;
    for (unsigned i = 0; i < m_pFormat->nb_streams; ++i) {
        AVStream* stream = m_pFormat->streams[i];
        stream->discard = AVDISCARD_ALL;
        const AVCodecParameters* codec = stream->codecpar;
        if (codec->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        ++audio;
        if (m_Stream < 0 && (codec->codec_id == AV_CODEC_ID_AAC || codec->codec_id == AV_CODEC_ID_MP3))
            m_Stream = static_cast<int>(i);
    }
    if (m_Stream < 0) {
        Trace(L"[CSegmentDemuxer] no AAC or MP3 in the %hs segment (%u audio streams of %u)\n",
              m_pFormat->iformat->name, audio, m_pFormat->nb_streams);
        return audio ? kSegmentOtherCodec : kSegmentNoAudio;
    }
    AVStream* stream = m_pFormat->streams[m_Stream];
    stream->discard = AVDISCARD_DEFAULT;
    m_Kind = stream->codecpar->codec_id == AV_CODEC_ID_AAC ? kKindAac : kKindMp3;
    // MP4 holds AAC without headers; MPEG-TS and packed audio hold ADTS.
    m_Raw = m_Kind == kKindAac && strncmp(m_pFormat->iformat->name, "mov", 3) == 0;
    if (m_Raw && !MakeAdtsHeader()) {
        Trace(L"[CSegmentDemuxer] AAC that ADTS cannot carry (%d bytes of configuration)\n",
              stream->codecpar->extradata_size);
        return kSegmentOtherCodec;
    }
    return kSegmentOk;
}

bool CSegmentDemuxer::MakeAdtsHeader()
{
    const AVCodecParameters* codec = m_pFormat->streams[m_Stream]->codecpar;
    if (!codec->extradata || codec->extradata_size < 2)
        return false;
    CBits bits(codec->extradata, codec->extradata_size);
    auto objectType = [&bits] {
        unsigned type = bits.Get(5);
        return type == 31 ? 32 + bits.Get(6) : type;
    };
    unsigned type = objectType();
    unsigned rateIndex = bits.Get(4);
    if (rateIndex == 15)
        return false;  // a rate given in full, which ADTS cannot name
    unsigned channels = bits.Get(4);
    // SBR or PS signalled here: ADTS names the core it extends.
    if (type == 5 || type == 29) {
        if (bits.Get(4) == 15)
            bits.Get(24);
        type = objectType();
    }
    // Main, LC, SSR; 1024 samples a frame; channels by number, not by an
    // element list the frames would have to carry.
    if (type < 1 || type > 3 || rateIndex >= 13 || channels == 0 || channels > 7 || bits.Get(1) || bits.Over())
        return false;
    m_Adts[0] = 0xFF;
    m_Adts[1] = 0xF1;  // MPEG-4, no CRC
    m_Adts[2] = static_cast<unsigned char>((type - 1) << 6 | rateIndex << 2 | channels >> 2);
    m_Adts[3] = static_cast<unsigned char>((channels & 3) << 6);
    m_Adts[5] = 0x1F;  // the buffer fullness 0x7FF: a variable rate
    m_Adts[6] = 0xFC;  // and one raw data block
    return true;
}

bool CSegmentDemuxer::Frame(StreamFrame& frame)
{
    const unsigned char* p = m_pPacket->data;
    size_t size = m_pPacket->size > 0 ? static_cast<size_t>(m_pPacket->size) : 0;
    unsigned profile = 0;
    if (m_Kind == kKindMp3) {
        Mp3Header mp3;
        if (!mp3.Parse(p, size) || mp3.bytes != size)
            return false;
        frame.samples = mp3.samples;
        frame.rate = mp3.rate;
        frame.channels = mp3.channels;
        frame.bitrate = mp3.bitrate;
        profile = static_cast<unsigned>(mp3.version);
    } else {
        if (m_Raw) {
            size_t bytes = size + AdtsHeader::kSize;
            if (!size || bytes > sizeof(m_Frame))
                return false;
            memcpy(m_Frame, m_Adts, AdtsHeader::kSize);
            m_Frame[3] = static_cast<unsigned char>(m_Adts[3] | bytes >> 11);
            m_Frame[4] = static_cast<unsigned char>(bytes >> 3);
            m_Frame[5] = static_cast<unsigned char>((bytes & 7) << 5 | m_Adts[5]);
            memcpy(m_Frame + AdtsHeader::kSize, p, size);
            p = m_Frame;
            size = bytes;
        }
        AdtsHeader adts;
        if (!adts.Parse(p, size) || adts.bytes != size)
            return false;
        frame.samples = adts.samples;
        frame.rate = adts.rate;
        frame.channels = adts.channels;
        frame.bitrate = 0;
        profile = adts.profile;
    }
    frame.data = p;
    frame.bytes = static_cast<unsigned>(size);
    frame.codec = kOggNone;
    frame.header = false;
    frame.newFormat = !m_Started || frame.rate != m_Rate || frame.channels != m_Channels || profile != m_Profile;
    m_Rate = frame.rate;
    m_Channels = frame.channels;
    m_Profile = profile;
    return true;
}

bool CSegmentDemuxer::Next(StreamFrame& frame, double& seconds)
{
    if (!m_pFormat || m_Result != kSegmentOk)
        return false;
    for (;;) {
        av_packet_unref(m_pPacket);
        int error = av_read_frame(m_pFormat, m_pPacket);
        if (error < 0) {
            if (error != AVERROR_EOF) {
                TraceError(L"the segment breaks off", error);
                m_Result = ResultOf(error);
            } else if (!m_Started && m_Dropped) {
                Trace(L"[CSegmentDemuxer] not one whole frame in the segment, %u passed over\n", m_Dropped);
                m_Result = kSegmentDamaged;
            } else if (m_Dropped) {
                Trace(L"[CSegmentDemuxer] frames of the segment damaged or not whole, passed over: %u\n", m_Dropped);
            }
            return false;
        }
        if (m_pPacket->stream_index != m_Stream)
            continue;
        // A frame from a damaged packet would play as noise.
        if ((m_pPacket->flags & AV_PKT_FLAG_CORRUPT) || !Frame(frame)) {
            ++m_Dropped;
            continue;
        }
        const AVStream* stream = m_pFormat->streams[m_Stream];
        int64_t at = m_pPacket->pts != AV_NOPTS_VALUE ? m_pPacket->pts : m_pPacket->dts;
        // A frame without a timestamp plays where the one before ended.
        seconds = at != AV_NOPTS_VALUE ? m_Offset + at * av_q2d(stream->time_base) : m_Next;
        m_Next = seconds + static_cast<double>(frame.samples) / frame.rate;
        m_Started = true;
        return true;
    }
}

double CSegmentDemuxer::TagSeconds() const
{
    const AVDictionaryEntry* tag = av_dict_get(m_pFormat->metadata, kTimestampKey, nullptr, 0);
    if (!tag)
        return 0;
    // libavformat writes the frame's bytes with the unprintable ones as \xNN.
    unsigned long long value = 0;
    unsigned bytes = 0;
    for (const char* s = tag->value; *s; ++bytes) {
        unsigned byte = static_cast<unsigned char>(*s);
        char hex[3] = {};
        if (s[0] == '\\' && s[1] == 'x' && s[2] && s[3]) {
            hex[0] = s[2];
            hex[1] = s[3];
            char* end = nullptr;
            unsigned long escaped = strtoul(hex, &end, 16);
            if (end == hex + 2)
                byte = static_cast<unsigned>(escaped);
            s += end == hex + 2 ? 4 : 1;
        } else {
            ++s;
        }
        value = value << 8 | (byte & 0xFF);
    }
    if (bytes != 8) {
        Trace(L"[CSegmentDemuxer] a timestamp of %u bytes in the ID3 tag, not 8\n", bytes);
        return 0;
    }
    return static_cast<double>(value & ((1ULL << 33) - 1)) / 90000.0;
}
