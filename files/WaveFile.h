// RIFF/WAVE files of 16-bit PCM: a 56-byte header ("fmt ", "fact", "data")
// written at creation, refreshed while recording, and final at close.
#pragma once

#include "files/MediaFile.h"

#include <windows.h>
#include <mmreg.h>

class CWaveFile : public CMediaFile {
public:
    static constexpr unsigned kHeaderSize = 56;

    CWaveFile();
    ~CWaveFile() override;

    using CMediaFile::Create;
    // 0 success; -1 invalid format, already open, empty path, failed header
    // write or failed creation with overwrite; -2 creation without overwrite failed.
    int Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite) override;
    // Rewrites the three size fields for the data written so far, returns to
    // the end and makes it durable, so a killed recording keeps its data.
    bool RefreshHeader(bool flush = true) override;
    // Cuts a trailing part of a frame (a write the full disk cut short).
    void DropPartialFrame() override;

    void Close() override;
    int Create(const wchar_t* path, int overwrite) override;
    int Open(const wchar_t* path) override { return OpenPlain(path); }
    int OpenPlain(const wchar_t* path) override;
    void Rewind() override;
    void SeekTime(unsigned seconds) override;
    int SetSecondaryInfo() override { return 0; }
    int GetSecondaryInfo() override { return 0; }
    int WriteSecondary(int, const void*, unsigned) override { return 0; }
    int SetInfo(int stream, const MediaInfo* info) override;
    const MediaInfo* GetInfo() override { return &m_Info; }
    int WriteSamples(int stream, const void* data, unsigned length) override;
    unsigned GetTime() override;
    bool IsEnd() override;
    void SetBlock(unsigned size, unsigned milliseconds) override;
    int HasAudio() override { return 1; }

    const PCMWAVEFORMAT& Format() const { return *reinterpret_cast<const PCMWAVEFORMAT*>(m_Header + 20); }

    unsigned char m_Header[36];
    unsigned m_Offset;
    unsigned m_TotalFrames;

private:
    bool WriteHeader();
    // Puts the file position after the data written so far.
    bool SeekDataEnd();
    void CloseHandleOnly();
};
