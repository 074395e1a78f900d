// One HLS segment, held in memory, opened by FFmpeg's demuxers: MPEG-TS,
// packed audio (ADTS or MP3 behind an ID3 tag with the segment's 90 kHz
// timestamp), fragmented MP4 after its init segment, or plain MP3. Its audio
// comes out frame by frame as the files are written: AAC as whole ADTS
// frames (a header made from the AudioSpecificConfig where the container
// holds raw AAC), MP3 as the frames were sent, each with its timestamp.
#pragma once

#include "frames/StreamFrame.h"
#include "frames/StreamSniff.h"

#include <cstddef>
#include <cstdint>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

enum SegmentResult {
    kSegmentOk,
    kSegmentNoAudio,     // a container without an audio stream
    kSegmentOtherCodec,  // audio, but neither AAC that ADTS can carry nor MP3
    kSegmentDamaged,     // no container FFmpeg knows, or one it cannot read
    kSegmentNoMemory,
};

class CSegmentDemuxer {
public:
    CSegmentDemuxer();
    ~CSegmentDemuxer();
    CSegmentDemuxer(const CSegmentDemuxer&) = delete;
    CSegmentDemuxer& operator=(const CSegmentDemuxer&) = delete;

    // Opens a segment; for fragmented MP4, init is the #EXT-X-MAP segment
    // read before it (else null). The bytes must stay until Close.
    SegmentResult Open(const unsigned char* data, size_t size, const unsigned char* init = nullptr,
                       size_t initSize = 0);
    // kKindAac or kKindMp3 once open.
    StreamKind Kind() const { return m_Kind; }
    // The next frame, valid until the next call, and when it plays in
    // seconds on the segment's clock: TS and packed audio on the 33-bit
    // 90 kHz one (it wraps after 26.5 hours, which the caller unwraps from
    // segment to segment), MP4 on its track's, an MP3 file from 0. False at
    // the end, then Result says whether the segment ended well.
    bool Next(StreamFrame& frame, double& seconds);
    SegmentResult Result() const { return m_Result; }
    // Frames passed over: damaged, not whole, or not the stream's codec.
    unsigned Dropped() const { return m_Dropped; }
    void Close();

private:
    static int Read(void* opaque, unsigned char* buffer, int size);
    static int64_t Seek(void* opaque, int64_t offset, int whence);
    SegmentResult FindAudio();
    // The ADTS header for a raw AAC frame from the stream's AudioSpecificConfig.
    bool MakeAdtsHeader();
    // The packet as the frame the files take; false when it is none.
    bool Frame(StreamFrame& frame);
    // The ID3 tag's timestamp of packed audio, in seconds (0 without one).
    double TagSeconds() const;

    const unsigned char* m_pInit = nullptr;
    size_t m_InitSize = 0;
    const unsigned char* m_pData = nullptr;
    size_t m_Size = 0;
    size_t m_At = 0;  // in the init segment and the segment, one after the other

    AVFormatContext* m_pFormat = nullptr;
    AVIOContext* m_pIo = nullptr;
    AVPacket* m_pPacket = nullptr;
    int m_Stream = -1;
    StreamKind m_Kind = kKindUnknown;
    SegmentResult m_Result = kSegmentOk;
    bool m_Raw = false;  // AAC without ADTS headers (MP4)
    unsigned char m_Adts[7] = {};
    double m_Offset = 0;  // seconds added to the container's timestamps
    double m_Next = 0;    // where the frame after the last one plays
    bool m_Started = false;
    unsigned m_Dropped = 0;
    unsigned m_Rate = 0, m_Channels = 0, m_Profile = 0;  // the last frame's
    // An ADTS frame, header and raw data, at most what its 13-bit length holds.
    unsigned char m_Frame[8191] = {};
};
