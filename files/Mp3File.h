// An MP3 file of a station's frames: an ID3v2.4 tag (title, station, start),
// then an Info frame (a silent frame of the stream's own format whose Xing
// header gives the frame and byte counts), then the frames. The Info frame
// is rewritten at every refresh and at the close, so a player shows the
// true length and a recording cut off by a crash plays whole.
#pragma once

#include "files/StreamFile.h"

class CMp3File : public CStreamFile {
public:
    // The largest Info frame (MPEG-1 Layer III at 320 kbit/s, 32 kHz, padded).
    static constexpr unsigned kMaxInfoFrame = 1441;

    CMp3File();
    ~CMp3File() override;

    int CreateStream(const wchar_t* path, int overwrite) override;
    bool AppendFrame(const StreamFrame& frame) override;
    bool RefreshHeader(bool flush = true) override;
    void Close() override;

    // The ID3v2.4 tag of these tags, in UTF-8 (size of the whole tag, 0 when
    // it did not fit capacity).
    static unsigned Id3Tag(const RecordingTags& tags, unsigned char* tag, unsigned capacity);
    // The Info frame for the stream of which header is a frame's four bytes,
    // with these counts; its size (0: not a header this writes one for).
    static unsigned InfoFrame(const unsigned char* header, unsigned long frames, unsigned long bytes, bool vbr,
                              unsigned char* frame);

private:
    bool WriteInfo();

    unsigned long long m_InfoAt;   // where the Info frame begins: after the tag
    unsigned char m_Header[4];     // the first frame's header
    unsigned m_InfoBytes;          // 0: no frame yet, so no Info frame
    unsigned m_FirstBitrate;
    bool m_bVbr;                   // the frames' bit rates differ: "Xing", else "Info"
};
