#include "stream/StationAnswer.h"

#include "foundation/TitleText.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

std::string Trimmed(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

}  // namespace

bool StationAnswer::Parse(const char* text, size_t size)
{
    std::string all(text, size);
    size_t end = all.find('\n');
    if (end == std::string::npos)
        return false;
    std::string line = Trimmed(all.substr(0, end));
    if (line.compare(0, 4, "ICY ") == 0) {
        icy = true;
    } else if (line.compare(0, 5, "HTTP/") != 0) {
        return false;
    }
    size_t space = line.find(' ');
    status = static_cast<unsigned>(strtoul(line.c_str() + space + 1, nullptr, 10));
    if (status < 100 || status > 999)
        return false;
    for (size_t at = end + 1; at < all.size();) {
        size_t next = all.find('\n', at);
        if (next == std::string::npos)
            next = all.size();
        line = all.substr(at, next - at);
        at = next + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;
        size_t colon = line.find(':');
        if (colon != std::string::npos)
            Take(Trimmed(line.substr(0, colon)), Trimmed(line.substr(colon + 1)));
    }
    return true;
}

void StationAnswer::Take(const std::string& header, const std::string& value)
{
    const char* h = header.c_str();
    if (strcasecmp(h, "icy-metaint") == 0)
        metaint = strtoul(value.c_str(), nullptr, 10);
    else if (strcasecmp(h, "icy-br") == 0)
        bitrate = static_cast<unsigned>(strtoul(value.c_str(), nullptr, 10));  // "128" or "128,128"
    else if (strcasecmp(h, "icy-name") == 0)
        name = TitleText(value.data(), value.size());
    else if (strcasecmp(h, "content-type") == 0)
        contentType = TitleText(value.data(), value.size());
    else if (strcasecmp(h, "location") == 0)
        location = TitleText(value.data(), value.size());
}
