// The last few seconds a running device delivered that no file took: the
// audio between two back-to-back programs (by frame number), and the start
// of a program whose start request arrives after its start second (by the
// timeline, since the last step of the clock).
#pragma once

class CPreRoll {
public:
    // The wall time of what is appended may move this far from where the
    // audio held says it should be; further, the clock was stepped.
    static constexpr long long kMaxClockMove = 200000;  // 20 ms

    CPreRoll() : m_pData(nullptr), m_Capacity(0), m_Head(0), m_Bytes(0), m_FirstFrame(0), m_StepFrame(0), m_FrameBytes(1), m_Rate(1), m_NextTime(0) {}
    ~CPreRoll() { delete[] m_pData; }
    CPreRoll(const CPreRoll&) = delete;
    CPreRoll& operator=(const CPreRoll&) = delete;

    // Room for this many frames; forgets what it held.
    bool Reset(unsigned frames, unsigned frameBytes, unsigned rate);
    void Clear() { m_Bytes = 0; }
    // Keeps frames starting at device frame firstFrame, captured at wall
    // time (UTC) firstTime; the oldest go when full, and audio that does not
    // follow the frames held starts the ring afresh. A step of the wall
    // clock is marked, not forgotten: by the clock the user sees, the audio
    // from before it lies before any start still to come, or long after it,
    // yet it is still the next frames of a recording that ended back to back.
    void Append(const void* data, unsigned frames, unsigned long long firstFrame, long long firstTime);
    // Moves the frames held from device frame `from` on into one new block
    // (the caller deletes it) and forgets everything; first receives the
    // block's first device frame. With sinceStep (a start looked up on the
    // timeline), nothing from before the last step of the clock. Null when
    // none is held.
    char* Take(unsigned long long from, bool sinceStep, unsigned& bytes, unsigned long long& first);

private:
    char* m_pData;
    unsigned m_Capacity;  // bytes
    unsigned m_Head;      // offset of the oldest byte
    unsigned m_Bytes;
    unsigned long long m_FirstFrame;  // device frame of the oldest byte
    unsigned long long m_StepFrame;   // the first frame after the last step of the clock
    unsigned m_FrameBytes;
    unsigned m_Rate;
    long long m_NextTime;  // where the next frame's wall time should be
};
