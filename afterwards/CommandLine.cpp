#include "afterwards/CommandLine.h"
#include "files/FilePrefix.h"
#include "foundation/TextLines.h"

#include <windows.h>
#include <cwchar>
#include <vector>

namespace {

// What reads the line before the program does.
enum class Reader { kProgram, kCmd, kBatch };

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

bool EndsWithNoCase(const std::wstring& text, const wchar_t* tail)
{
    size_t n = wcslen(tail);
    return text.size() >= n && _wcsicmp(text.c_str() + text.size() - n, tail) == 0;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* head)
{
    return _wcsnicmp(text.c_str(), head, wcslen(head)) == 0;
}

bool RunsByItself(const std::wstring& word)
{
    for (const wchar_t* ext : {L".exe", L".com", L".bat", L".cmd"})
        if (EndsWithNoCase(word, ext))
            return true;
    return false;
}

// The words of a line as cmd and CreateProcess split it: at blanks, a
// quoted stretch staying in one word. end is where the word stops.
struct Word {
    std::wstring text;  // without its quotes
    size_t begin, end;
    bool quoted;
};

Word WordAt(const std::wstring& line, size_t at)
{
    while (at < line.size() && IsBlank(line[at]))
        ++at;
    Word word{L"", at, at, at < line.size() && line[at] == L'"'};
    bool inQuotes = false;
    for (; word.end < line.size() && (inQuotes || !IsBlank(line[word.end])); ++word.end) {
        if (line[word.end] == L'"')
            inQuotes = !inQuotes;
        else
            word.text += line[word.end];
    }
    return word;
}

Reader ReaderOf(const std::wstring& program)
{
    size_t slash = program.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? program : program.substr(slash + 1);
    if (_wcsicmp(name.c_str(), L"cmd") == 0 || _wcsicmp(name.c_str(), L"cmd.exe") == 0)
        return Reader::kCmd;
    if (EndsWithNoCase(name, L".bat") || EndsWithNoCase(name, L".cmd"))
        return Reader::kBatch;
    return Reader::kProgram;
}

std::wstring SystemCmd()
{
    wchar_t folder[MAX_PATH] = L"";
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(folder) + L"\\cmd.exe" : L"cmd.exe";
}

// The folder without a closing backslash, but for a drive's root, whose
// backslash makes it the root and not that drive's current folder.
std::wstring Folder(std::wstring folder)
{
    while (folder.size() > 1 && folder.back() == L'\\' && !(folder.size() == 3 && folder[1] == L':'))
        folder.pop_back();
    return folder;
}

// A value inside quotes. The C runtime and CommandLineToArgvW read 2n
// backslashes before a quote as n and the quote as the end, so those before
// the closing quote are doubled ("E:\\" is E:\). For cmd.exe, which expands
// %NAME% inside quotes too, each % is followed by %cd:~,%, an empty piece of
// the always-set CD, so no name can form; inside quotes cmd takes
// & | < > ^ ( ) as text, and ! is text with delayed expansion off. A value
// never holds a quote: no file name can.
void AppendInside(std::wstring& line, const std::wstring& value, bool closes, bool cmd)
{
    for (wchar_t c : value)
        line.append(cmd && c == L'%' ? L"%%cd:~," : L"").append(1, c);
    if (closes)
        for (size_t i = value.size(); i > 0 && value[i - 1] == L'\\'; --i)
            line += L'\\';
}

// The values in quotes, apart by spaces. Inside quotes the user wrote, the
// user's quotes open the first and close the last.
void Insert(std::wstring& line, const std::vector<std::wstring>& values, bool inQuotes, bool quoteFollows, bool cmd)
{
    for (size_t i = 0; i < values.size(); ++i) {
        bool last = i + 1 == values.size();
        if (i > 0)
            line += L" \"";
        else if (!inQuotes)
            line += L'"';
        AppendInside(line, values[i], !last || !inQuotes || quoteFollows, cmd);
        if (!last || !inQuotes)
            line += L'"';
    }
    if (values.empty() && !inQuotes)
        line += L"\"\"";
}

// For cmd named by the user: delayed expansion off unless a switch says
// otherwise, so a ! in a value stays text; a command after /c that starts
// with a quote is put in quotes with /s, which cmd takes off again, as
// otherwise it would take off the first and the last quote of the line.
std::wstring CmdSwitches(const std::wstring& line, const Word& program)
{
    bool delayed = false, wrapped = false, command = false;
    size_t at = program.end;
    Word word = WordAt(line, at);
    for (; !word.text.empty() && word.text[0] == L'/'; word = WordAt(line, at = word.end)) {
        if (StartsWithNoCase(word.text, L"/v"))
            delayed = true;
        if (StartsWithNoCase(word.text, L"/s"))
            wrapped = true;
        if ((command = StartsWithNoCase(word.text, L"/c") || StartsWithNoCase(word.text, L"/k")))
            break;
    }
    std::wstring rest = command ? line.substr(word.end) : L"";
    size_t first = rest.find_first_not_of(L" \t");
    bool wrap = !wrapped && first != std::wstring::npos && rest.compare(first, 2, L"\"\"") != 0 && rest[first] == L'"';
    std::wstring out = line.substr(0, program.end) + (delayed ? L"" : L" /v:off");
    if (!wrap)
        return out + line.substr(program.end);
    return out + line.substr(program.end, word.begin - program.end) + L"/s " + line.substr(word.begin, word.end - word.begin) +
           L" \"" + rest.substr(first) + L"\"";
}

}  // namespace

CCommandLine::CCommandLine(const wchar_t* command, const wchar_t* files)
{
    std::wstring typed = command ? command : L"";
    Word first = WordAt(typed, 0);
    Reader reader = ReaderOf(first.text);
    bool cmd = reader != Reader::kProgram;

    RecordingPath recording(files);
    std::vector<std::wstring> paths, folder{Folder(recording.folder)}, title{recording.title};
    ForEachLine(files, [&](const wchar_t* file, size_t length) {
        if (length)
            paths.emplace_back(file, length);
    });
    bool inQuotes = false;
    for (const wchar_t* p = typed.c_str(); *p; ++p) {
        if (*p == L'"')
            inQuotes = !inQuotes;
        if (*p != L'%' || !p[1]) {
            line += *p;
            continue;
        }
        switch (p[1]) {
        case L'F': Insert(line, paths, inQuotes, p[2] == L'"', cmd); break;
        case L'D': Insert(line, folder, inQuotes, p[2] == L'"', cmd); break;
        case L'T': Insert(line, title, inQuotes, p[2] == L'"', cmd); break;
        case L'S': line += recording.stamp; break;
        case L'%': line += L'%'; break;
        default: line += *p; continue;
        }
        ++p;
    }

    bool alone = first.text.find_first_of(L"\\/:") == std::wstring::npos;
    if (reader == Reader::kBatch) {
        // Started by cmd on a line of its own: no AutoRun commands, no
        // delayed expansion, and /s takes off just the outer quotes.
        program = SystemCmd();
        line = L"cmd.exe /e:on /v:off /d /s /c \"" + line + L"\"";
    } else if (reader == Reader::kCmd) {
        // Named alone, the one in the system folder, not one in the
        // recording folder, which is the current one.
        if (alone)
            program = SystemCmd();
        line = CmdSwitches(line, WordAt(line, 0));
    }
}

const wchar_t* CCommandLine::Refusal(const wchar_t* command, bool japanese)
{
    if (!RefusalNote(command, japanese))
        return nullptr;
    return japanese ? L"プログラムのパスに空白がありますが、引用符で囲まれていません。このままでは Windows "
                      L"が空白の前までを別のプログラムとして開始するおそれがあります。パスを引用符で囲んでください。例:\n"
                      L"\"C:\\Program Files\\Tool\\tool.exe\" %F"
                    : L"The program's path has spaces but no quotes: Windows could take the part before a space "
                      L"for another program and start that. Put the path in quotes, for example:\n"
                      L"\"C:\\Program Files\\Tool\\tool.exe\" %F";
}

const wchar_t* CCommandLine::RefusalNote(const wchar_t* command, bool japanese)
{
    // A path typed bare whose name has no ending of a program, followed by
    // more of a path (a word with a backslash, or one that ends like a
    // program) before any switch, quote, code or other drive.
    std::wstring typed = command ? command : L"";
    Word word = WordAt(typed, 0);
    if (word.quoted || word.text.find(L'\\') == std::wstring::npos || RunsByItself(word.text))
        return nullptr;
    for (word = WordAt(typed, word.end); !word.text.empty(); word = WordAt(typed, word.end)) {
        wchar_t c = typed[word.begin];
        if (c == L'-' || c == L'/' || c == L'"' || c == L'%' || word.text.find(L':') != std::wstring::npos)
            return nullptr;
        if (word.text.find(L'\\') != std::wstring::npos || RunsByItself(word.text))
            return japanese ? L"プログラムのパスに空白があり、引用符がありません" : L"its program's path has spaces but no quotes";
    }
    return nullptr;
}
