// The after-recording command filled in for one recording, written so that
// the started program reads each file, the folder and the title whole:
// whatever the title holds, wherever the folder is, and also when cmd.exe
// reads the line first (a batch file, or cmd itself).
#pragma once

#include <string>

class CCommandLine {
public:
    // %F the files, each in quotes, apart by spaces; %D their folder and %T
    // the title as in the file names, each in quotes too (codes the user
    // already put in quotes get none of their own); %S the scheduled start
    // (YYYYMMDDhhmm); %% a percent sign. Other text stays as it is.
    CCommandLine(const wchar_t* command, const wchar_t* files);

    // What CreateProcess starts: the system's cmd.exe for a batch file or
    // for "cmd" named alone, else empty (the line's first word).
    std::wstring program;
    std::wstring line;

    // Why the command is not run as typed, or null: a program path with
    // spaces but without quotes, which Windows would read as a shorter path
    // ("C:\Program.exe" first) and so perhaps start another program.
    static const wchar_t* Refusal(const wchar_t* command, bool japanese);
    // The same, short, for the notice of a recording's command.
    static const wchar_t* RefusalNote(const wchar_t* command, bool japanese);
};
