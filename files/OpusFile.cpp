#include "files/OpusFile.h"
#include "files/RecordingFormat.h"
#include "foundation/Trace.h"

COpusFile::COpusFile(int kbps) : m_pEncoder(nullptr), m_Kbps(RecordingFormat::ClampKbps(kbps)) {}

COpusFile::~COpusFile()
{
    if (IsOpen())
        Close();
    if (m_pEncoder)
        ope_encoder_destroy(m_pEncoder);
}

int COpusFile::Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite)
{
    int code = CreateForEncoder(path, format, overwrite);
    if (code != 0)
        return code;
    int error = OPE_ALLOC_FAIL;
    OggOpusComments* comments = ope_comments_create();
    char comment[RecordingFormat::kCommentSize];
    for (int i = 0; comments && i < RecordingTags::kCommentCount; ++i)
        if (m_Tags.Comment(i, comment, sizeof comment))
            ope_comments_add_string(comments, comment);
    OpusEncCallbacks callbacks = {OnWrite, OnClose};
    if (comments)
        m_pEncoder = ope_encoder_create_callbacks(&callbacks, this, comments, static_cast<opus_int32>(format.nSamplesPerSec),
                                                  m_Channels, 0, &error);
    if (comments)
        ope_comments_destroy(comments);
    // Every file its own stream serial, as Ogg tools expect of separate files.
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    int serial = static_cast<int>(counter.LowPart ^ (GetCurrentThreadId() << 16));
    // No look-ahead of libopusenc's own beyond the codec's: a packet is made
    // as soon as its 20 ms are in, and a page written at least every half second.
    if (m_pEncoder && (ope_encoder_ctl(m_pEncoder, OPUS_SET_BITRATE(m_Kbps * 1000)) != OPE_OK ||
                       ope_encoder_ctl(m_pEncoder, OPE_SET_DECISION_DELAY(0)) != OPE_OK ||
                       ope_encoder_ctl(m_pEncoder, OPE_SET_MUXING_DELAY(kMuxingDelay)) != OPE_OK ||
                       ope_encoder_ctl(m_pEncoder, OPE_SET_SERIALNO(serial)) != OPE_OK))
        error = OPE_INTERNAL_ERROR;
    else if (m_pEncoder)
        error = ope_encoder_flush_header(m_pEncoder);  // the header is on disk from the start
    // libopusenc leaves a stream's end unset until its first write (a file
    // closed before any audio came would drain forever): an empty write sets it.
    opus_int16 none = 0;
    if (m_pEncoder && error == OPE_OK)
        error = ope_encoder_write(m_pEncoder, &none, 0);
    if (m_pEncoder && error == OPE_OK)
        return 0;
    Trace(L"[COpusFile] the encoder did not start: %d\n", error);
    if (m_pEncoder)
        ope_encoder_destroy(m_pEncoder);
    m_pEncoder = nullptr;
    DiscardCreated();
    return -1;
}

unsigned COpusFile::AppendAudio(const void* pcm, unsigned length)
{
    if (!m_pEncoder || !m_Channels)
        return 0;
    int frames = static_cast<int>(length / (2 * m_Channels));
    return ope_encoder_write(m_pEncoder, static_cast<const opus_int16*>(pcm), frames) == OPE_OK ? length : 0;
}

void COpusFile::Close()
{
    if (m_pEncoder && IsOpen() && !m_bRead) {
        int error = ope_encoder_drain(m_pEncoder);
        if (error != OPE_OK)
            Trace(L"[COpusFile] the file could not be finished: %d\n", error);
    }
    if (m_pEncoder)
        ope_encoder_destroy(m_pEncoder);
    m_pEncoder = nullptr;
    CFile::Close();
}

int COpusFile::OnWrite(void* self, const unsigned char* data, opus_int32 length)
{
    return static_cast<COpusFile*>(self)->WriteThrough(data, static_cast<size_t>(length)) ? 0 : 1;
}
