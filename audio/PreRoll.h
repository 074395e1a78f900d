// The last few seconds a running device delivered that no file took: the
// audio between two back-to-back programs, and the start of a program
// whose start request arrives after its start second.
#pragma once

class CPreRoll {
public:
    CPreRoll() : m_pData(nullptr), m_Capacity(0), m_Head(0), m_Bytes(0), m_FirstFrame(0), m_FrameBytes(1) {}
    ~CPreRoll() { delete[] m_pData; }
    CPreRoll(const CPreRoll&) = delete;
    CPreRoll& operator=(const CPreRoll&) = delete;

    // Room for this many frames; forgets what it held.
    bool Reset(unsigned frames, unsigned frameBytes);
    void Clear() { m_Bytes = 0; }
    // Keeps frames starting at device frame firstFrame; the oldest go when full.
    void Append(const void* data, unsigned frames, unsigned long long firstFrame);
    // Moves the frames held from device frame `from` on into one new block
    // (the caller deletes it) and forgets everything; first receives the
    // block's first device frame. Null when none is held.
    char* Take(unsigned long long from, unsigned& bytes, unsigned long long& first);

private:
    char* m_pData;
    unsigned m_Capacity;  // bytes
    unsigned m_Head;      // offset of the oldest byte
    unsigned m_Bytes;
    unsigned long long m_FirstFrame;  // device frame of the oldest byte
    unsigned m_FrameBytes;
};
