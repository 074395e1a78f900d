// Moves a file to the Recycle Bin and never deletes one for good: where the
// bin cannot take it (a network share, a drive whose bin is off, a file too
// large for it) the file stays. One file at a time, so that one the bin
// refuses does not hold back the others.
#pragma once

#include <windows.h>
#include <string>

struct IFileOperation;

class CRecycleBin {
public:
    enum Result { kDone, kRefused, kFailed };

    // kDone: the shell did its part (the caller sees whether the file went);
    // kRefused: the bin cannot take it, and it is kept; kFailed: the shell
    // failed with error, and the file is kept. Wants a COM apartment.
    static Result Move(const std::wstring& file, HRESULT& error);

    // Seams for the tests: the shell's file operation, and the older call's
    // delete of one file (what SHFileOperationW returns).
    static HRESULT (*s_CreateOperation)(IFileOperation** operation);
    static int (*s_DeleteByFileOp)(const wchar_t* file);

private:
    // The shell's file operation, whose sink refuses any permanent delete.
    static Result MoveByFileOperation(IFileOperation* operation, const std::wstring& file, HRESULT& error);
    // The older call, where the file operation is missing (Wine): only on a
    // fixed drive, and guarded by a second name of the file, as the call
    // deletes for good where the bin cannot take it.
    static Result MoveByFileOp(const std::wstring& file, HRESULT& error);
};
