// Moves files to the Recycle Bin and never deletes one for good: where the
// bin cannot take a file (a network share, a drive whose bin is off, a file
// too large for it) nothing of that request is removed.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

class CRecycleBin {
public:
    enum Result { kDone, kRefused, kFailed };

    virtual ~CRecycleBin() {}
    // The files, all of one folder. kDone: the shell did its part (the
    // caller sees which files went); kRefused: the bin cannot take them and
    // all are kept; kFailed: the shell failed with error.
    virtual Result Move(const std::vector<std::wstring>& files, HRESULT& error);

private:
    // The shell's file operation, whose sink refuses any permanent delete.
    Result MoveByFileOperation(const std::vector<std::wstring>& files, HRESULT& error);
    // The older call, where the file operation is missing (Wine): only on a
    // fixed drive, where the bin takes what FOF_ALLOWUNDO deletes.
    Result MoveByFileOp(const std::vector<std::wstring>& files, HRESULT& error);
};
