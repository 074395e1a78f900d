#include "stream/IcyMetadata.h"

#include "foundation/TitleText.h"

#include <cstring>

void CIcyMetadata::Reset(unsigned long interval)
{
    m_Interval = interval;
    m_UntilMeta = interval;
    m_MetaLeft = 0;
    m_bInMeta = false;
    m_Text.clear();
    m_Last.clear();
    m_bHadTitle = false;
    m_Audio = 0;
}

size_t CIcyMetadata::Strip(unsigned char* data, size_t size, std::vector<StationTitle>& titles)
{
    if (m_Interval == 0) {
        m_Audio += size;
        return size;
    }
    size_t out = 0;
    for (size_t at = 0; at < size;) {
        if (m_bInMeta) {
            size_t n = size - at < m_MetaLeft ? size - at : m_MetaLeft;
            m_Text.append(reinterpret_cast<const char*>(data + at), n);
            at += n;
            m_MetaLeft -= n;
            if (m_MetaLeft == 0)
                Finish(titles);
        } else if (m_UntilMeta == 0) {
            m_MetaLeft = static_cast<size_t>(data[at++]) * 16;
            m_Text.clear();
            m_bInMeta = true;
            if (m_MetaLeft == 0)
                Finish(titles);
        } else {
            size_t n = size - at < m_UntilMeta ? size - at : m_UntilMeta;
            memmove(data + out, data + at, n);
            out += n;
            at += n;
            m_UntilMeta -= static_cast<unsigned long>(n);
            m_Audio += n;
        }
    }
    return out;
}

void CIcyMetadata::Finish(std::vector<StationTitle>& titles)
{
    m_bInMeta = false;
    m_UntilMeta = m_Interval;
    std::string title;
    if (!m_Text.empty() && FindTitle(m_Text.data(), m_Text.size(), title) && (!m_bHadTitle || title != m_Last)) {
        m_Last = title;
        m_bHadTitle = true;
        titles.push_back(StationTitle{m_Audio, TitleText(title.data(), title.size())});
    }
}

bool CIcyMetadata::FindTitle(const char* text, size_t size, std::string& title)
{
    std::string block(text, strnlen(text, size));
    static const char kKey[] = "StreamTitle='";
    size_t start = block.find(kKey);
    if (start == std::string::npos)
        return false;
    start += sizeof(kKey) - 1;
    // A title may hold an apostrophe; the field ends at "';" or at the end.
    size_t end = block.find("';", start);
    if (end == std::string::npos) {
        end = block.size();
        if (end > start && block[end - 1] == '\'')
            --end;
    }
    title = block.substr(start, end - start);
    return true;
}
