// Debian's own decoders and tools (flac, metaflac, opusinfo, opusdec), run
// from the Windows tests: Wine starts Unix programs, so what the program
// encodes is read back by an implementation other than the one that wrote it.
#pragma once

#include <string>

struct ToolRun {
    int exitCode = -1;   // -1: the tool did not run
    std::string output;  // its standard output and error
    std::string pcm;     // what a decoder wrote: 16-bit little-endian PCM
};

// The Unix path of a Windows one, quoted for sh.
std::string UnixArg(const std::wstring& path);
// A command line for sh (the tools on its PATH); its exit code and output.
ToolRun RunTool(const std::string& line);
// The whole file decoded by flac (verifying its MD5); salvage decodes what
// a killed recording left (-F).
ToolRun DecodeFlac(const std::wstring& path, bool salvage = false);
// The file decoded by opusdec at rate.
ToolRun DecodeOpus(const std::wstring& path, unsigned rate);
