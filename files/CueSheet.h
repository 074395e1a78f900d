// The CUE sheet beside a stream recording, named as its first file with
// ".cue" (an existing one is never overwritten): its files, and in
// each the station's titles from where they begin, mm:ss:ff from the file's
// start. Rewritten whole (it is small) whenever a file or a title is added,
// so a recording cut off keeps the sheet of what it holds. UTF-8 with a BOM.
// The writer thread's own.
#pragma once

#include <string>
#include <vector>

class CCueSheet {
public:
    // A new sheet for a recording of that title and station.
    void Begin(const wchar_t* title, const wchar_t* station);
    // A file of the recording begins; the title in effect goes on in it from
    // 00:00:00 (the recording's own title until the station gives one).
    void AddFile(const std::wstring& path);
    // The station's title from this point of the current file on ("Artist -
    // Title" gives both). A title at the very point of the last one replaces
    // it; one with rate 0 (between files) begins the next file.
    void SetTitle(const std::wstring& text, unsigned long long samples, unsigned rate);
    // The sheet's path once it is written (empty before), for the list of
    // the recording's files.
    std::wstring Path() const { return m_bWritten ? m_Path : std::wstring(); }
    // "mm:ss:ff" (75 frames a second) of samples at rate.
    static std::wstring Offset(unsigned long long samples, unsigned rate);

private:
    struct Track {
        size_t file;
        std::wstring text;
        unsigned long long samples;
        unsigned rate;
    };
    void Write();

    std::wstring m_Path, m_Title, m_Station, m_Current;
    std::vector<std::wstring> m_Files;
    std::vector<Track> m_Tracks;
    bool m_bWritten = false;
};
