// What the FLAC and Opus files share: 16-bit PCM in, the recording's tags,
// and the encoder's output written straight through the Win32 handle, so
// nothing waits in a buffer of ours or of the C library when the process dies.
#pragma once

#include "files/MediaFile.h"
#include "files/RecordingTags.h"

class CEncodedFile : public CMediaFile {
public:
    CEncodedFile() : m_Channels(0), m_WholeEnd(0) {}

    void SetTags(const RecordingTags& tags) override { m_Tags = tags; }
    // Cuts a write the full disk took in part: the file ends with whole frames or pages.
    void DropPartialFrame() override;

protected:
    // Creates the file for 16-bit PCM, mono or stereo, at any common rate:
    // 0, or CFile's codes (-1 also for a format the encoders do not take).
    int CreateForEncoder(const wchar_t* path, const WAVEFORMATEX& format, int overwrite);
    // A file just created whose encoder would not start holds nothing: it goes.
    void DiscardCreated();
    // For the encoders' callbacks: all of data at the current position;
    // false when the disk took nothing of a write.
    bool WriteThrough(const void* data, size_t length);

    unsigned m_Channels;
    RecordingTags m_Tags;

private:
    // The end of the last write that went through whole.
    unsigned long long m_WholeEnd;
};
