#include "recorder/PreRoll.h"

#include <cstring>
#include <new>

bool CPreRoll::Reset(unsigned frames, unsigned frameBytes, unsigned rate)
{
    m_Rate = rate ? rate : 1;
    unsigned capacity = frames * frameBytes;
    if (capacity != m_Capacity) {
        delete[] m_pData;
        m_pData = new (std::nothrow) char[capacity];
        m_Capacity = m_pData ? capacity : 0;
    }
    m_FrameBytes = frameBytes ? frameBytes : 1;
    m_Head = m_Bytes = 0;
    return m_pData != nullptr;
}

void CPreRoll::Append(const void* data, unsigned frames, unsigned long long firstFrame, long long firstTime)
{
    if (!m_Capacity)
        return;
    const char* bytes = static_cast<const char*>(data);
    unsigned length = frames * m_FrameBytes;
    long long moved = firstTime - m_NextTime;
    if (m_Bytes && m_FirstFrame + m_Bytes / m_FrameBytes != firstFrame)
        m_Bytes = 0;
    else if (moved > kMaxClockMove || moved < -kMaxClockMove)
        m_StepFrame = firstFrame;
    m_NextTime = firstTime + static_cast<long long>(frames) * 10000000LL / m_Rate;
    if (length > m_Capacity) {
        bytes += length - m_Capacity;
        firstFrame += (length - m_Capacity) / m_FrameBytes;
        length = m_Capacity;
        m_Bytes = 0;
    }
    if (!m_Bytes) {
        m_Head = 0;
        m_FirstFrame = m_StepFrame = firstFrame;
    }
    if (m_Bytes + length > m_Capacity) {
        unsigned drop = m_Bytes + length - m_Capacity;
        m_Head = (m_Head + drop) % m_Capacity;
        m_Bytes -= drop;
        m_FirstFrame += drop / m_FrameBytes;
    }
    unsigned tail = (m_Head + m_Bytes) % m_Capacity;
    unsigned first = length < m_Capacity - tail ? length : m_Capacity - tail;
    memcpy(m_pData + tail, bytes, first);
    memcpy(m_pData, bytes + first, length - first);
    m_Bytes += length;
}

char* CPreRoll::Take(unsigned long long from, bool sinceStep, unsigned& bytes, unsigned long long& first)
{
    if (sinceStep && from < m_StepFrame)
        from = m_StepFrame;
    unsigned long long end = m_FirstFrame + m_Bytes / m_FrameBytes;
    bytes = 0;
    if (!m_Bytes || from >= end) {
        m_Bytes = 0;
        return nullptr;
    }
    unsigned skip = from > m_FirstFrame ? static_cast<unsigned>(from - m_FirstFrame) * m_FrameBytes : 0;
    unsigned start = (m_Head + skip) % m_Capacity, length = m_Bytes - skip;
    char* block = new (std::nothrow) char[length];
    if (block) {
        unsigned part = length < m_Capacity - start ? length : m_Capacity - start;
        memcpy(block, m_pData + start, part);
        memcpy(block + part, m_pData, length - part);
        bytes = length;
        first = m_FirstFrame + skip / m_FrameBytes;
    }
    m_Bytes = 0;
    return block;
}
