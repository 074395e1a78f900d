// An Ogg file of a station's pages (Opus or Vorbis). Each file begins with
// the stream's header pages, and every page is numbered from that file's
// start: sequence numbers from 0, granule positions from the file's first
// audio, the CRC taken again. So a later file of a split plays alone.
#pragma once

#include "files/StreamFile.h"

class COggFile : public CStreamFile {
public:
    // The largest Ogg page: 27 + 255 lacing values + 255 * 255 bytes.
    static constexpr unsigned kMaxPage = 27 + 255 + 255 * 255;

    COggFile();
    ~COggFile() override;

    int CreateStream(const wchar_t* path, int overwrite) override;
    bool AppendFrame(const StreamFrame& frame) override;
    void Close() override;

private:
    // The page's CRC taken again.
    static void Seal(unsigned char* page, unsigned bytes);

    unsigned char* m_pPage;  // the page being renumbered, then the last one written
    unsigned m_PageBytes;    // of the last page written whole; 0: none
    unsigned long long m_PageAt;
    unsigned m_Sequence;     // the next page's number
    long long m_Base;        // the granule position the file's audio starts at; -1: not yet
};
