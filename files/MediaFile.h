// A block-oriented media file over CFile: the generic interface every
// recorded format implements (WAV, FLAC, Opus). The recorder uses only the
// writing side.
#pragma once

#include "foundation/File.h"

#include <mmreg.h>

struct RecordingTags;

// What a media file says about its audio stream.
struct MediaInfo {
    unsigned m_Frequency;
    unsigned m_Channels;
    unsigned m_Bits;
    unsigned m_StreamCount;  // the reader sets 1
    unsigned m_MediaType;    // the reader sets 94
};

class CMediaFile : public CFile {
public:
    CMediaFile();
    virtual ~CMediaFile();

    virtual int Create(const wchar_t* path, int overwrite);
    virtual int Open(const wchar_t* path);
    virtual int OpenPlain(const wchar_t* path);
    virtual int CreatePlain(const wchar_t* path, int overwrite);
    virtual void Rewind();
    virtual void SeekTime(unsigned seconds);
    virtual int SetSecondaryInfo() { return 1; }
    virtual int GetSecondaryInfo() { return 0; }
    virtual int WriteSecondary(int stream, const void* data, unsigned length);
    virtual unsigned ReadSecondary(int stream, void* buffer, unsigned capacity);
    virtual int SetInfo(int stream, const MediaInfo* info);
    virtual const MediaInfo* GetInfo() { return nullptr; }
    virtual int WriteSamples(int stream, const void* data, unsigned length);
    virtual unsigned ReadSamples(int stream, void* buffer, unsigned capacity);
    virtual unsigned ReadAt(void* buffer, unsigned length, unsigned long long position);
    virtual unsigned GetTime() { return 0; }
    virtual bool IsEnd();
    virtual void SetBlock(unsigned size, unsigned milliseconds);
    virtual unsigned GetBlockSize() { return m_BlockSize; }
    virtual int HasAudio() { return 0; }
    virtual unsigned GetBlockCount() { return m_BlockCount; }
    virtual unsigned GetBlockIndex(int which) { return which == 1 ? m_AudioIndex : m_SecondaryIndex; }

    // The recording side, used on the writer thread only: tags set before
    // Create, which makes the file for 16-bit PCM of that format (codes as
    // CFile's, -1 for a format the file type cannot hold), then the PCM
    // appended, a refresh about every second, Close. GetSize() is what the
    // split compares: the data of a WAV file, the whole size of the others.
    virtual void SetTags(const RecordingTags& tags) { (void)tags; }
    virtual int Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite);
    // Bytes of PCM taken: a WAV file may take part of them (a full disk),
    // an encoder all or none.
    virtual unsigned AppendAudio(const void* pcm, unsigned length) { return Write(pcm, length); }
    // Makes what is written so far readable after a crash: headers true;
    // with flush, after a power loss too: the file's data flushed to the
    // disk in the background.
    virtual bool RefreshHeader(bool flush = true);
    // After a failed append: cuts what the disk took of a write that did
    // not go through whole.
    virtual void DropPartialFrame() {}
    // One flush at a time, on a pool thread: a flush can take seconds while
    // another program fills the disk, and the writer must keep taking audio
    // meanwhile. A refresh that finds one still running leaves it to the next.
    static void FlushInBackground(HANDLE file);

    unsigned m_BlockSize;
    unsigned m_BlockTime;
    unsigned m_BlockCount;
    unsigned m_AudioIndex;
    unsigned m_SecondaryIndex;
    MediaInfo m_Info;

protected:
    unsigned ReadBlock(unsigned& index, void* buffer, unsigned capacity);
    unsigned long long CurrentPosition();
};
