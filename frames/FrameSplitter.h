// Cuts what a station sends into whole frames (MP3, ADTS AAC) or pages
// (Ogg) as the bytes come, whatever the network's pieces: a frame is handed
// on once all of it is here. Bytes that belong to no frame (a part frame at
// the start, a tag, damage) are passed over and counted; a frame only counts
// as the stream's once the frames after it agree.
#pragma once

#include "frames/OggChain.h"
#include "frames/StreamFrame.h"
#include "frames/StreamSniff.h"

#include <cstddef>

class CFrameSplitter {
public:
    // Bytes held while a frame is incomplete; past this the oldest go.
    static constexpr size_t kMaxHeld = 1 << 20;

    explicit CFrameSplitter(StreamKind kind);
    ~CFrameSplitter();
    CFrameSplitter(const CFrameSplitter&) = delete;
    CFrameSplitter& operator=(const CFrameSplitter&) = delete;

    StreamKind Kind() const { return m_Kind; }
    // False when memory is short (the bytes are dropped and counted).
    bool Feed(const void* data, size_t bytes);
    // The next whole frame; false until more bytes are fed. With final (the
    // stream ended), a last frame that needs no check of its successor.
    bool Next(StreamFrame& frame, bool final = false);
    // The bytes passed over so far.
    unsigned long long Skipped() const { return m_Skipped; }

private:
    // A frame of kind at m_Start: 1 ready, 0 none here, -1 more bytes needed.
    int Mpeg(StreamFrame& frame, bool final);
    int Ogg(StreamFrame& frame, bool final);
    void Skip(size_t bytes);

    StreamKind m_Kind;
    unsigned char* m_pData;
    size_t m_Capacity, m_Start, m_End;
    unsigned long long m_Skipped;
    // MPEG: the fixed header fields of the stream locked on (0: none yet),
    // and the format last handed on.
    unsigned long m_Fixed;
    unsigned m_Rate, m_Channels;
    int m_Version;
    // Ogg: the chain being read, and the one before it (format changes).
    COggChain m_Chain;
    bool m_bHadChain;
};
