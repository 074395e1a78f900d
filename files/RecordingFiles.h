// The files one recording has made, collected on the writer thread as they
// are created; when the recording's last file is closed they go to the
// notice window in one WM_RECORDING_FILES, for what runs after a recording.
#pragma once

#include <windows.h>

class CRecordingFiles {
public:
    CRecordingFiles() : m_pNames(nullptr), m_Length(0), m_Size(0) {}
    ~CRecordingFiles() { delete[] m_pNames; }
    CRecordingFiles(const CRecordingFiles&) = delete;
    CRecordingFiles& operator=(const CRecordingFiles&) = delete;

    void Add(const wchar_t* path);
    // Posts the names, one a line, and starts afresh; nothing when none was made.
    void Post(HWND window);

private:
    wchar_t* m_pNames;
    size_t m_Length;
    size_t m_Size;
};
