// Writes what it was started with to the file named by MARIVANE_ARGV_FILE,
// in UTF-8: the whole command line, then each argument the C runtime read,
// one a line. The after-recording command tests start it.
#include <windows.h>
#include <cstdio>
#include <string>

namespace {
void Put(FILE* out, const wchar_t* text)
{
    char utf8[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    if (n > 0)
        std::fprintf(out, "%s\n", utf8);
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t path[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"MARIVANE_ARGV_FILE", path, MAX_PATH))
        return 2;
    FILE* out = _wfopen(path, L"ab");
    if (!out)
        return 3;
    Put(out, GetCommandLineW());
    for (int i = 1; i < argc; ++i)
        Put(out, argv[i]);
    std::fclose(out);
    return 0;
}
