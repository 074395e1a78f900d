// What a station's server answered before the stream: the status and the
// headers a recording needs.
#pragma once

#include <cstddef>
#include <string>

struct StationAnswer {
    unsigned status = 0;
    bool icy = false;            // the status line was "ICY 200 OK"
    unsigned long metaint = 0;   // icy-metaint: audio bytes between metadata blocks
    unsigned bitrate = 0;        // icy-br, kbit/s
    std::wstring name;           // icy-name
    std::wstring contentType;
    std::wstring location;       // a redirect's target, as sent

    // Reads the header block of an HTTP/1.x or ICY answer, up to and with
    // its blank line; false when it is neither.
    bool Parse(const char* text, size_t size);
    // One header's value, by the header's name.
    void Take(const std::string& name, const std::string& value);
};
