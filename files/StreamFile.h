// A file of a station's stream as it sends it: whole frames (MP3, ADTS AAC)
// or whole pages (Ogg), never decoded. Beside CMediaFile's PCM side it takes
// frames; the writer uses GetSize, RefreshHeader, DropPartialFrame and Close
// as for every other file. A PCM Create fails: these files hold no PCM.
#pragma once

#include "files/MediaFile.h"
#include "files/RecordingTags.h"
#include "frames/StreamFrame.h"

class CStreamFile : public CMediaFile {
public:
    CStreamFile();

    using CMediaFile::Create;
    void SetTags(const RecordingTags& tags) override { m_Tags = tags; }
    // Makes the file (codes as CFile's CreateForWrite) and writes what
    // precedes the first frame.
    virtual int CreateStream(const wchar_t* path, int overwrite);
    // One whole frame or page; false when the disk took less of it, which
    // DropPartialFrame then cuts.
    virtual bool AppendFrame(const StreamFrame& frame);
    // Back to the end of the last whole frame; Close does it too, so a
    // file never ends inside a frame.
    void DropPartialFrame() override;
    void Close() override;
    // The audio frames (pages) taken, header pages not counted.
    unsigned long long Frames() const { return m_Frames; }

protected:
    // Appends bytes whole: false (and nothing counted) when the disk took less.
    bool WriteWhole(const void* data, unsigned bytes);

    RecordingTags m_Tags;
    unsigned long long m_WholeEnd;  // where the last whole write ended
    unsigned long long m_Frames;
};
