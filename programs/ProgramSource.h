// What a program records from, as its "source" key holds it: empty for the
// settings' device, a device id as "cap_device_id" stores it (capture, or
// "loopback:..." for what the PC plays), or a station's address as typed
// (an http:// or https:// stream, or a .pls or .m3u playlist there).
// Anything else is not understood: it is kept as it is and told.
#pragma once

enum SourceKind { kSourceSettings, kSourceCapture, kSourceLoopback, kSourceStation, kSourceUnknown };

class ProgramSource {
public:
    // Characters of a source with its terminator; longer ones are kept in
    // the program whole, but the recording's block holds this many.
    static constexpr int kSize = 1024;

    static SourceKind Kind(const wchar_t* source);
    static bool IsStation(const wchar_t* source) { return Kind(source) == kSourceStation; }
    static bool IsDevice(const wchar_t* source)
    {
        SourceKind kind = Kind(source);
        return kind == kSourceCapture || kind == kSourceLoopback;
    }
};
