#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <windows.h>

std::string UnixArg(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    // Single-quoted for sh, a quote inside as '\''.
    std::string quoted = "'";
    for (const char* p = unix ? unix : ""; *p; ++p)
        quoted += *p == '\'' ? std::string("'\\''") : std::string(1, *p);
    HeapFree(GetProcessHeap(), 0, unix);
    return quoted + "'";
}

ToolRun RunTool(const std::string& line)
{
    // Wine gives no handle of a Unix process to wait on: sh writes the
    // tool's exit code to a file when it is done.
    ToolRun run;
    wchar_t folder[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, name);
    std::wstring out = name, done = out + L".done";
    std::string script = "exec >" + UnixArg(out) + " 2>&1; " + line + "; echo $? >" + UnixArg(done) + ".tmp; mv " +
                         UnixArg(done) + ".tmp " + UnixArg(done);
    std::wstring command = L"sh -c \"" + std::wstring(script.begin(), script.end()) + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(L"Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        run.output = "cannot start sh: error " + std::to_string(GetLastError());
        return run;
    }
    if (WaitUntil([&] { return Exists(done); }, 120000, 10))
        run.exitCode = std::stoi("0" + ReadBytes(done));
    run.output = ReadBytes(out);
    DeleteFileW(out.c_str());
    DeleteFileW(done.c_str());
    return run;
}

// The decoded PCM goes to a file beside the input, read and removed.
ToolRun DecodeFlac(const std::wstring& path, bool salvage)
{
    std::wstring raw = path + L".raw";
    ToolRun run = RunTool(std::string("flac -d -s -f ") + (salvage ? "-F " : "") +
                          "--force-raw-format --endian=little --sign=signed -o " + UnixArg(raw) + " " + UnixArg(path));
    run.pcm = ReadBytes(raw);
    DeleteFileW(raw.c_str());
    return run;
}

ToolRun DecodeOpus(const std::wstring& path, unsigned rate)
{
    std::wstring raw = path + L".raw";
    ToolRun run = RunTool("opusdec --quiet --rate " + std::to_string(rate) + " " + UnixArg(path) + " " + UnixArg(raw));
    run.pcm = ReadBytes(raw);
    DeleteFileW(raw.c_str());
    return run;
}
