// The recording in progress, noted in "marivane.recording" beside the
// settings: written when it starts, refreshed every pass while it runs and
// removed when it ends cleanly. Found at the next start, it says that a
// shutdown, a crash or a kill cut the recording short, and how much of it
// was kept. A damaged note is traced and removed, never trusted further
// than it reads. Scheduler thread only.
#pragma once

#include "foundation/DateTime.h"

class ProgramItem;

class CUnfinishedRecording {
public:
    static constexpr int kTitleSize = 256;

    CUnfinishedRecording() : m_hFile(INVALID_HANDLE_VALUE) {}
    ~CUnfinishedRecording() { Close(); }
    CUnfinishedRecording(const CUnfinishedRecording&) = delete;
    CUnfinishedRecording& operator=(const CUnfinishedRecording&) = delete;

    wchar_t m_Title[kTitleSize] = {};
    CDateTime m_Start, m_Stop;
    CDateTime m_Seen;        // the last refresh: about when it was cut
    long long m_Kept = 0;    // seconds recorded by then

    // Takes the program's title and times.
    void Name(const ProgramItem& program);
    // Writes the note over the one before; the file stays open while the
    // recording runs, so a refresh every second costs one write (and a
    // flush to the disk a minute).
    bool Write();
    // False when there is no note, or it does not say which recording.
    bool Read();
    void Remove();
    // "News was cut at 03:12: 1:12:00 of 2:00:00 kept." in the UI language;
    // goesOn: the rest is recorded into the next file.
    void Describe(bool japanese, bool goesOn, wchar_t* text, int count) const;

private:
    // The note's place beside the settings; false when there is none.
    static bool Path(wchar_t* path, int count);
    void Close();

    static constexpr ULONGLONG kFlushEveryMs = 60000;

    HANDLE m_hFile;
    // The last flush: when (GetTickCount64) and of which recording (its
    // start's ticks; 0: none since the file was opened).
    ULONGLONG m_FlushedAt = 0;
    long long m_FlushedStart = 0;
};
