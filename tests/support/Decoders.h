// Debian's own decoders and tools (flac, metaflac, opusinfo, opusdec), run
// from the Windows tests: Wine starts Unix programs, so what the program
// encodes is read back by an implementation other than the one that wrote it.
#pragma once

#include <string>

struct ToolRun {
    int exitCode = -1;        // -1: the tool did not run
    std::string output, pcm;  // its standard output and error; what a decoder wrote
};

// A Windows path as Unix names it (empty when Wine cannot say); the same
// quoted for sh.
std::string UnixPath(const std::wstring& path);
std::string UnixArg(const std::wstring& path);
// A command line for sh (the tools on its PATH); its exit code and output.
ToolRun RunTool(const std::string& line);
// The file decoded to 16-bit PCM by a command that reads IN and writes OUT.
ToolRun Decode(const std::wstring& path, const std::string& command);
// flac checks the MD5 of a finished file; -F decodes what a killed one holds.
inline ToolRun DecodeFlac(const std::wstring& path, bool salvage = false)
{
    return Decode(path, std::string("flac -d -s -f ") + (salvage ? "-F " : "") +
                            "--force-raw-format --endian=little --sign=signed -o OUT IN");
}
inline ToolRun DecodeOpus(const std::wstring& path, unsigned rate)
{
    return Decode(path, "opusdec --quiet --rate " + std::to_string(rate) + " IN OUT");
}
