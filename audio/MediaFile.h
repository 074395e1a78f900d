// A block-oriented media file over CFile: the generic interface the WAV file
// implements. The recorder uses only the writing side of CWaveFile.
#pragma once

#include "foundation/File.h"

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
