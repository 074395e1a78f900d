// Takes a station's ICY metadata out of its byte stream. With icy-metaint N
// the server sends N bytes of audio, one length byte L, L*16 bytes of text
// ("StreamTitle='...';StreamUrl='...';" padded with NULs), and again; the
// blocks fall anywhere, in the middle of frames, so they go before framing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct StationTitle {
    unsigned long long offset;  // audio bytes of the connection before it
    std::wstring text;
};

class CIcyMetadata {
public:
    // interval 0: the stream carries no metadata and passes unchanged.
    explicit CIcyMetadata(unsigned long interval = 0) { Reset(interval); }
    void Reset(unsigned long interval);

    // Removes the metadata from data in place and returns the audio bytes
    // left at its front. A StreamTitle that differs from the last one is
    // added to titles.
    size_t Strip(unsigned char* data, size_t size, std::vector<StationTitle>& titles);
    unsigned long long AudioBytes() const { return m_Audio; }

    // The StreamTitle of one block's text, undecoded; false when it has none.
    static bool FindTitle(const char* text, size_t size, std::string& title);

private:
    void Finish(std::vector<StationTitle>& titles);

    unsigned long m_Interval;
    unsigned long m_UntilMeta;  // audio bytes before the next length byte
    size_t m_MetaLeft;          // text bytes of the current block still to come
    bool m_bInMeta;
    std::string m_Text;         // the current block's text so far
    std::string m_Last;         // the last title told, undecoded
    bool m_bHadTitle;
    unsigned long long m_Audio;
};
