// One recording as the scheduler asks for it and the writer makes it: its
// files' prefix, its span on the capture clock, its source, its split size,
// its file format and its tags. The scheduler fills the prefix, the span,
// the source and the tags and sends the block with WM_CAPTURE_START; the audio thread adds the
// split size and format the settings hold at that request, and hands the
// whole block to the writer.
#pragma once

#include "files/RecordingFormat.h"
#include "files/RecordingTags.h"
#include "foundation/Messages.h"

struct RecordingParameters {
    wchar_t m_Prefix[kFilePrefixSize];  // the folder and name before _NNN.ext
    long long m_StartAt;                // on the capture clock (UTC, 100-ns units); 0: now
    long long m_StopAt;                 // 0: not known
    unsigned m_MaxFileSize;             // bytes of data a file holds before the next one
    RecordingFormat m_Format;
    RecordingTags m_Tags;
    // The program's source as its "source" key holds it (programs/ProgramSource.h):
    // empty for the settings' device.
    static constexpr int kSourceSize = 1024;
    wchar_t m_Source[kSourceSize];
    // A station's HLS variant as the program chose it (its bandwidth in bit/s; 0: the best).
    unsigned long long m_Variant;

    RecordingParameters()
        : m_Prefix(), m_StartAt(0), m_StopAt(0), m_MaxFileSize(0), m_Format(), m_Tags(), m_Source(), m_Variant(0)
    {
    }
    // A heap block for WM_CAPTURE_START, the receiver frees it (null when
    // memory is short). title and start are for the tags.
    static RecordingParameters* New(const wchar_t* prefix, long long startAt, long long stopAt,
                                    const wchar_t* title = nullptr, const SYSTEMTIME* start = nullptr,
                                    const wchar_t* source = nullptr, unsigned long long variant = 0);
};
