#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <windows.h>

#include <algorithm>

std::string UnixPath(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(const wchar_t*);
    static ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    std::string result = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

std::string UnixArg(const std::wstring& path)
{
    // Single-quoted for sh, a quote inside as '\''.
    std::string quoted = "'";
    for (char c : UnixPath(path))
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
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

ToolRun Decode(const std::wstring& path, const std::string& command)
{
    std::wstring raw = path + L".raw";  // beside the input, read and removed
    // The later word first, so the earlier one stays where it was found.
    std::string line = command;
    size_t in = line.find("IN"), out = line.find("OUT");
    line.replace(std::max(in, out), in > out ? 2 : 3, in > out ? UnixArg(path) : UnixArg(raw));
    line.replace(std::min(in, out), in > out ? 3 : 2, in > out ? UnixArg(raw) : UnixArg(path));
    ToolRun run = RunTool(line);
    run.pcm = ReadBytes(raw);
    DeleteFileW(raw.c_str());
    return run;
}
