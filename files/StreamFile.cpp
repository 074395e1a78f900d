#include "files/StreamFile.h"

CStreamFile::CStreamFile() : m_Tags(), m_WholeEnd(0), m_Frames(0) {}

int CStreamFile::CreateStream(const wchar_t* path, int overwrite)
{
    m_WholeEnd = 0;
    m_Frames = 0;
    return CreateForWrite(path, overwrite);
}

bool CStreamFile::AppendFrame(const StreamFrame& frame)
{
    if (!WriteWhole(frame.data, frame.bytes))
        return false;
    if (!frame.header)
        ++m_Frames;
    return true;
}

bool CStreamFile::WriteWhole(const void* data, unsigned bytes)
{
    unsigned done = 0;
    // A write the disk takes in part is followed by one for the rest; only
    // a write that takes nothing is a failure.
    while (done < bytes) {
        unsigned n = Write(static_cast<const char*>(data) + done, bytes - done);
        if (n == 0)
            return false;
        done += n;
    }
    m_WholeEnd = m_Size;
    return true;
}

void CStreamFile::DropPartialFrame()
{
    if (!IsOpen() || m_Size == m_WholeEnd)
        return;
    m_Size = m_WholeEnd;
    if (Seek(m_WholeEnd))
        SetEndOfFile(m_hFile);
}

void CStreamFile::Close()
{
    if (IsOpen() && !m_bRead)
        DropPartialFrame();
    CMediaFile::Close();
}
