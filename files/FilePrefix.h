// The file-name prefix of one recording, before the audio thread adds the
// file number and ".wav".
#pragma once

#include "foundation/DateTime.h"

#include <cstddef>
#include <string>

// Folder, "\", title, "_" and the scheduled start as YYYYMMDDhhmm. In the
// title only, every character a file name cannot hold (\ / : * ? " < > |
// and control characters) becomes "_", so a title can neither fail the file
// nor reach outside the folder. An over-long title is shortened at a
// character boundary so that a numbered name fits one path component, the
// path limit and the block of count characters.
void BuildFilePrefix(wchar_t* block, size_t count, const wchar_t* folder, const wchar_t* title,
                     const CDateTime& start);
// The title as it stands in the file names of that folder, for a prefix
// block of count characters.
std::wstring FileTitle(const wchar_t* folder, const wchar_t* title, size_t count);
// A recording's file name "<title>_YYYYMMDDhhmm_NNN.<ext>" (no folder), ext
// one of a recording's own (wav, flac, opus; a stream's mp3, aac, ogg and
// its CUE sheet's cue): false for any other; otherwise the title's length and the
// 12-digit stamp (not terminated).
bool ParseRecordingName(const wchar_t* name, size_t& titleLength, const wchar_t*& stamp);
// A recording's file path taken apart: the folder, and the title and the
// stamp as the name carries them (for a name of another form, the title is
// the whole name and the stamp is empty).
struct RecordingPath {
    std::wstring folder, title, stamp;
    RecordingPath(const wchar_t* path, size_t length);
    // The recording of a list of its files, one a line: its first file's.
    explicit RecordingPath(const wchar_t* files);
    // "<title>_<stamp>", the recording's name in notices.
    std::wstring Name() const { return stamp.empty() ? title : title + L"_" + stamp; }
};
