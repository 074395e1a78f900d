#include "stream/HlsPlaylist.h"

#include "stream/StationAddress.h"

#include <windows.h>
#include <cstdlib>
#include <cstring>

namespace {

std::wstring Wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

// An attribute of a tag's list (NAME=value or NAME="value"), "" when absent.
std::string Attribute(const std::string& list, const char* name)
{
    size_t length = strlen(name);
    bool quoted = false;
    for (size_t at = 0; at < list.size(); ++at) {
        if (list[at] == '"')
            quoted = !quoted;
        bool start = at == 0 || (!quoted && list[at - 1] == ',');
        if (!start || list.compare(at, length, name) != 0 || at + length >= list.size() || list[at + length] != '=')
            continue;
        size_t value = at + length + 1;
        if (value < list.size() && list[value] == '"') {
            size_t end = list.find('"', value + 1);
            return list.substr(value + 1, end == std::string::npos ? std::string::npos : end - value - 1);
        }
        return list.substr(value, list.find(',', value) - value);
    }
    return "";
}

bool Tag(const std::string& line, const char* tag, std::string& rest)
{
    size_t length = strlen(tag);
    if (line.compare(0, length, tag) != 0)
        return false;
    rest = line.substr(length);
    return true;
}

}  // namespace

bool HlsVariant::Recordable() const
{
    if (codecs.empty())
        return true;
    // Every codec listed must be audio this program writes as it comes.
    for (size_t at = 0; at <= codecs.size();) {
        size_t end = codecs.find(',', at);
        std::string codec = codecs.substr(at, end == std::string::npos ? std::string::npos : end - at);
        while (!codec.empty() && codec[0] == ' ')
            codec.erase(0, 1);
        if (codec.compare(0, 5, "mp4a.") != 0 && codec != "mp3")
            return false;
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return true;
}

const wchar_t* HlsVariant::CodecName() const
{
    // RFC 6381: mp4a.40.N names the AAC object type; 0x69 and 0x6B are MPEG audio.
    static const struct {
        const char* codec;
        const wchar_t* name;
    } kNames[] = {{"mp4a.40.2", L"AAC"},      {"mp4a.40.5", L"HE-AAC"}, {"mp4a.40.29", L"HE-AAC v2"},
                  {"mp4a.40.34", L"MP3"},     {"mp4a.69", L"MP3"},      {"mp4a.6b", L"MP3"},
                  {"mp4a.6B", L"MP3"},        {"mp3", L"MP3"}};
    for (const auto& n : kNames)
        if (codecs == n.codec)
            return n.name;
    return L"";
}

long long CHlsPlaylist::ParseDateTime(const std::string& text)
{
    SYSTEMTIME t = SYSTEMTIME();
    int year, month, day, hour, minute;
    double second;
    char zone[8] = "";
    if (sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%lf%7s", &year, &month, &day, &hour, &minute, &second, zone) < 6)
        return 0;
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    FILETIME ft;
    if (second < 0 || second >= 61 || !SystemTimeToFileTime(&t, &ft))
        return 0;
    long long ticks = static_cast<long long>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    ticks += static_cast<long long>(second * 1e7 + 0.5);
    // A zone of +hh:mm is that far ahead of UTC.
    int zh = 0, zm = 0;
    if ((zone[0] == '+' || zone[0] == '-') && sscanf(zone + 1, "%2d:%2d", &zh, &zm) >= 1)
        ticks -= (zone[0] == '+' ? 1 : -1) * (zh * 3600LL + zm * 60LL) * 10000000LL;
    return ticks;
}

bool CHlsPlaylist::Parse(const std::string& text, const std::wstring& base)
{
    *this = CHlsPlaylist();
    if (text.size() > kMaxBytes || text.compare(text[0] == '\xEF' ? 3 : 0, 7, "#EXTM3U") != 0)
        return false;
    HlsSegment next;
    HlsVariant variant;
    bool inVariant = false, tagged = false;
    std::wstring map;
    long long clock = 0;  // the broadcaster's time of the next segment
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        std::string rest;
        if (line.empty())
            continue;
        if (line[0] != '#') {
            std::wstring address = StationAddress::Resolve(base, Wide(line));
            if (inVariant) {
                variant.address = address;
                variants.push_back(variant);
                variant = HlsVariant();
                inVariant = false;
            } else {
                next.address = address;
                next.map = map;
                next.sequence = mediaSequence + static_cast<long long>(segments.size());
                if (next.onAir)
                    clock = next.onAir;
                else if (clock)
                    next.onAir = clock;
                if (clock)
                    clock += static_cast<long long>(next.seconds * 1e7 + 0.5);
                segments.push_back(next);
                next = HlsSegment();
            }
            continue;
        }
        tagged = tagged || line.compare(0, 5, "#EXT-") == 0;
        if (Tag(line, "#EXT-X-STREAM-INF:", rest)) {
            master = inVariant = true;
            variant.bandwidth = strtoull(Attribute(rest, "BANDWIDTH").c_str(), nullptr, 10);
            variant.codecs = Attribute(rest, "CODECS");
        } else if (Tag(line, "#EXT-X-TARGETDURATION:", rest)) {
            targetSeconds = atof(rest.c_str());
        } else if (Tag(line, "#EXT-X-MEDIA-SEQUENCE:", rest)) {
            mediaSequence = atoll(rest.c_str());
        } else if (Tag(line, "#EXTINF:", rest)) {
            next.seconds = atof(rest.c_str());
        } else if (Tag(line, "#EXT-X-PROGRAM-DATE-TIME:", rest)) {
            next.onAir = ParseDateTime(rest);
        } else if (line == "#EXT-X-DISCONTINUITY") {
            next.discontinuity = true;
            clock = 0;
        } else if (Tag(line, "#EXT-X-KEY:", rest)) {
            encrypted = Attribute(rest, "METHOD") != "NONE";
        } else if (Tag(line, "#EXT-X-MAP:", rest)) {
            map = StationAddress::Resolve(base, Wide(Attribute(rest, "URI")));
        } else if (line == "#EXT-X-ENDLIST") {
            ended = true;
        }
    }
    return tagged && (master || !segments.empty() || targetSeconds > 0);
}

const HlsVariant* CHlsPlaylist::Best() const
{
    const HlsVariant* best = nullptr;
    for (const HlsVariant& v : variants)
        if (v.Recordable() && (!best || v.bandwidth > best->bandwidth))
            best = &v;
    return best;
}

const HlsVariant* CHlsPlaylist::Pick(unsigned long long bandwidth) const
{
    if (!bandwidth)
        return Best();
    const HlsVariant* nearest = nullptr;
    auto distance = [bandwidth](const HlsVariant& v) {
        return v.bandwidth > bandwidth ? v.bandwidth - bandwidth : bandwidth - v.bandwidth;
    };
    for (const HlsVariant& v : variants) {
        if (!v.Recordable())
            continue;
        if (!nearest || distance(v) < distance(*nearest) ||
            (distance(v) == distance(*nearest) && v.bandwidth > nearest->bandwidth))
            nearest = &v;
    }
    return nearest;
}
