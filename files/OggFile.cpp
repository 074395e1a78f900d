#include "files/OggFile.h"
#include "frames/OggPage.h"

#include <cstring>
#include <new>

COggFile::COggFile() : m_pPage(nullptr), m_PageBytes(0), m_PageAt(0), m_Sequence(0), m_Base(-1) {}

COggFile::~COggFile()
{
    if (IsOpen())
        Close();
    delete[] m_pPage;
}

int COggFile::CreateStream(const wchar_t* path, int overwrite)
{
    if (!m_pPage)
        m_pPage = new (std::nothrow) unsigned char[kMaxPage];
    if (!m_pPage)
        return -1;
    m_Sequence = 0;
    m_Base = -1;
    m_PageBytes = 0;
    return CStreamFile::CreateStream(path, overwrite);
}

bool COggFile::AppendFrame(const StreamFrame& frame)
{
    if (frame.bytes < OggPage::kMinSize || frame.bytes > kMaxPage || !m_pPage)
        return false;
    unsigned char* p = m_pPage;
    memcpy(p, frame.data, frame.bytes);
    // A chain's first page (the stream's, or a new one's inside the file) begins its numbers again.
    if (p[5] & OggPage::kFirst) {
        m_Sequence = 0;
        m_Base = -1;
    }
    long long granule = 0;
    for (int i = 7; i >= 0; --i)
        granule = static_cast<long long>((static_cast<unsigned long long>(granule) << 8) | p[6 + i]);
    if (!frame.header && granule != -1) {
        // The first audio page that ends a packet fixes where the file's time starts.
        if (m_Base < 0)
            m_Base = granule > static_cast<long long>(frame.samples) ? granule - frame.samples : 0;
        granule -= m_Base;
        for (int i = 0; i < 8; ++i)
            p[6 + i] = static_cast<unsigned char>(static_cast<unsigned long long>(granule) >> (8 * i));
    }
    unsigned sequence = m_Sequence++;
    for (int i = 0; i < 4; ++i)
        p[18 + i] = static_cast<unsigned char>(sequence >> (8 * i));
    Seal(p, frame.bytes);
    StreamFrame renumbered = frame;
    renumbered.data = p;
    unsigned long long at = m_WholeEnd;
    m_PageBytes = 0;
    if (!CStreamFile::AppendFrame(renumbered))
        return false;
    m_PageBytes = frame.bytes;
    m_PageAt = at;
    return true;
}

void COggFile::Seal(unsigned char* p, unsigned bytes)
{
    memset(p + 22, 0, 4);
    unsigned crc = OggPage::Crc(p, bytes);
    for (int i = 0; i < 4; ++i)
        p[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
}

void COggFile::Close()
{
    if (IsOpen() && !m_bRead && m_PageBytes && !(m_pPage[5] & OggPage::kLast)) {
        DropPartialFrame();
        m_pPage[5] |= OggPage::kLast;
        Seal(m_pPage, m_PageBytes);
        Write(m_pPage, m_PageBytes, m_PageAt);
    }
    CStreamFile::Close();
}
