#include "frames/StreamSniff.h"
#include "frames/AdtsHeader.h"
#include "frames/Mp3Header.h"
#include "frames/OggPage.h"

#include <cctype>
#include <cstring>

namespace {

// Frames in a row that must agree before a sync counts as a stream's.
constexpr int kFramesToConfirm = 3;

bool StartsWithNoCase(const unsigned char* p, size_t size, const char* text)
{
    size_t n = strlen(text);
    if (size < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(p[i]) != text[i])
            return false;
    return true;
}

// No control characters but blanks: the start of a text, not of a frame.
bool LooksLikeText(const unsigned char* p, size_t size)
{
    for (size_t i = 0; i < size && i < 64; ++i)
        if (p[i] < 0x20 && !isspace(p[i]))
            return false;
    return size > 0;
}

bool Contains(const unsigned char* p, size_t size, const char* text)
{
    size_t n = strlen(text);
    for (size_t i = 0; i + n <= size; ++i)
        if (memcmp(p + i, text, n) == 0)
            return true;
    return false;
}

// 1: kFramesToConfirm frames of one stream from p on; 0: not a stream's
// frame; -1: the bytes end before the frames do.
template <class Header>
int Confirm(const unsigned char* p, size_t size)
{
    Header first;
    if (!first.Parse(p, size))
        return 0;
    unsigned long fixed = Header::Fixed(p);
    size_t at = 0;
    for (int n = 0; n < kFramesToConfirm; ++n) {
        Header h;
        if (at + Header::kSize > size)
            return -1;
        if (!h.Parse(p + at, size - at) || Header::Fixed(p + at) != fixed)
            return 0;
        at += h.bytes;
    }
    return 1;
}

}  // namespace

size_t StreamSniff::Id3Size(const unsigned char* p, size_t size)
{
    if (size < 10 || memcmp(p, "ID3", 3) != 0 || p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    for (int i = 6; i < 10; ++i)
        if (p[i] & 0x80)
            return 0;
    size_t body = (static_cast<size_t>(p[6]) << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

StreamSniff StreamSniff::Of(const unsigned char* p, size_t size, bool final)
{
    StreamSniff result;
    // Text first: a playlist or a page, after a byte order mark and blanks.
    size_t text = size >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (text < size && isspace(p[text]))
        ++text;
    const unsigned char* t = p + text;
    size_t left = size - text;
    if (left == 0 && !final) {
        result.needMore = true;
        return result;
    }
    result.start = text;
    if (StartsWithNoCase(t, left, "#extm3u")) {
        // An HLS playlist says so with its tags within its first lines.
        size_t look = left < 4096 ? left : 4096;
        if (Contains(t, look, "#EXT-X-"))
            result.kind = kKindHls;
        else if (left < 4096 && !final)
            result.needMore = true;
        else
            result.kind = kKindM3u;
        return result;
    }
    if (StartsWithNoCase(t, left, "[playlist]")) {
        result.kind = kKindPls;
        return result;
    }
    bool isText = LooksLikeText(t, left);
    if (isText && (StartsWithNoCase(t, left, "http://") || StartsWithNoCase(t, left, "https://") || t[0] == '#')) {
        result.kind = kKindM3u;
        return result;
    }
    if (isText && t[0] == '<' && left > 1 && (isalpha(t[1]) || t[1] == '!' || t[1] == '?')) {
        result.kind = kKindHtml;
        return result;
    }
    // A stream: tags first, then frames or pages, maybe after a part frame.
    size_t at = 0;
    while (size_t tag = Id3Size(p + at, size - at)) {
        at += tag;
        if (at > size) {
            result.needMore = !final;
            return result;
        }
    }
    for (size_t i = at; i < size && i < at + kSearchBytes; ++i) {
        if (p[i] == 'O') {
            OggPage page;
            int parsed = page.Parse(p + i, size - i);
            if (parsed == 0) {
                result.kind = kKindOgg;
                result.start = i;
                return result;
            }
            if (parsed > 0 && !final) {
                result.needMore = true;
                return result;
            }
            continue;
        }
        if (p[i] != 0xFF)
            continue;
        int mp3 = Confirm<Mp3Header>(p + i, size - i), aac = Confirm<AdtsHeader>(p + i, size - i);
        if (mp3 == 1 || aac == 1) {
            result.kind = mp3 == 1 ? kKindMp3 : kKindAac;
            result.start = i;
            return result;
        }
        if ((mp3 < 0 || aac < 0) && !final) {
            result.needMore = true;
            return result;
        }
    }
    result.start = 0;
    result.needMore = !final && size < at + kSearchBytes;
    return result;
}

const wchar_t* StreamSniff::Name(StreamKind kind)
{
    switch (kind) {
    case kKindMp3: return L"MP3";
    case kKindAac: return L"AAC";
    case kKindOgg: return L"Ogg";
    case kKindHtml: return L"HTML";
    case kKindHls: return L"HLS";
    case kKindPls: return L"PLS";
    case kKindM3u: return L"M3U";
    default: return L"unknown";
    }
}
