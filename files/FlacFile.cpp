#include "files/FlacFile.h"
#include "files/RecordingFormat.h"
#include "foundation/Trace.h"

#include <FLAC/metadata.h>

#include <cstring>

CFlacFile::CFlacFile() : m_Samples(), m_pEncoder(nullptr), m_pComments(nullptr) {}

CFlacFile::~CFlacFile()
{
    if (IsOpen())
        Close();
    Release();
}

void CFlacFile::Release()
{
    if (m_pEncoder)
        FLAC__stream_encoder_delete(m_pEncoder);
    if (m_pComments)
        FLAC__metadata_object_delete(m_pComments);
    m_pEncoder = nullptr;
    m_pComments = nullptr;
}

int CFlacFile::Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite)
{
    int code = CreateForEncoder(path, format, overwrite);
    if (code != 0)
        return code;
    m_pEncoder = FLAC__stream_encoder_new();
    m_pComments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    bool ok = m_pEncoder && m_pComments;
    char comment[RecordingFormat::kCommentSize];
    for (int i = 0; ok && i < RecordingTags::kCommentCount; ++i) {
        if (!m_Tags.Comment(i, comment, sizeof comment))
            continue;
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        entry.entry = reinterpret_cast<FLAC__byte*>(comment);
        entry.length = static_cast<FLAC__uint32>(strlen(comment));
        ok = FLAC__metadata_object_vorbiscomment_append_comment(m_pComments, entry, true);
    }
    ok = ok && FLAC__stream_encoder_set_channels(m_pEncoder, m_Channels) &&
         FLAC__stream_encoder_set_bits_per_sample(m_pEncoder, 16) &&
         FLAC__stream_encoder_set_sample_rate(m_pEncoder, format.nSamplesPerSec) &&
         FLAC__stream_encoder_set_compression_level(m_pEncoder, kCompressionLevel) &&
         FLAC__stream_encoder_set_metadata(m_pEncoder, &m_pComments, 1);
    // The header (STREAMINFO, the comments) is written here, at once.
    FLAC__StreamEncoderInitStatus init =
        ok ? FLAC__stream_encoder_init_stream(m_pEncoder, OnWrite, OnSeek, OnTell, nullptr, this)
           : FLAC__STREAM_ENCODER_INIT_STATUS_ENCODER_ERROR;
    if (init == FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        return 0;
    Trace(L"[CFlacFile] the encoder did not start: %d\n", static_cast<int>(init));
    Release();
    DiscardCreated();
    return -1;
}

unsigned CFlacFile::AppendAudio(const void* pcm, unsigned length)
{
    if (!m_pEncoder || !m_Channels)
        return 0;
    const unsigned char* in = static_cast<const unsigned char*>(pcm);
    unsigned frames = length / (2 * m_Channels);
    for (unsigned done = 0; done < frames;) {
        unsigned n = frames - done < kChunkFrames ? frames - done : kChunkFrames;
        const unsigned char* p = in + static_cast<size_t>(done) * m_Channels * 2;
        for (unsigned i = 0; i < n * m_Channels; ++i, p += 2)
            m_Samples[i] = static_cast<short>(p[0] | p[1] << 8);
        if (!FLAC__stream_encoder_process_interleaved(m_pEncoder, m_Samples, n))
            return 0;
        done += n;
    }
    return length;
}

void CFlacFile::Close()
{
    if (m_pEncoder && IsOpen() && !m_bRead && !FLAC__stream_encoder_finish(m_pEncoder))
        Trace(L"[CFlacFile] the file could not be finished: %d\n",
              static_cast<int>(FLAC__stream_encoder_get_state(m_pEncoder)));
    Release();
    CFile::Close();
}

FLAC__StreamEncoderWriteStatus CFlacFile::OnWrite(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t, uint32_t, void* self)
{
    return static_cast<CFlacFile*>(self)->WriteThrough(buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                                      : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus CFlacFile::OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* self)
{
    return static_cast<CFlacFile*>(self)->Seek(offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                       : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus CFlacFile::OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* self)
{
    *offset = static_cast<CFlacFile*>(self)->CurrentPosition();
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}
