// FLAC files through libFLAC's stream encoder (compression level 5). Every
// frame goes straight to the file through the Win32 handle as the encoder
// makes it, so a killed recording keeps all but the block being filled
// (4096 frames); the close finishes STREAMINFO (total samples, MD5).
#pragma once

#include "files/EncodedFile.h"

#include <FLAC/stream_encoder.h>

class CFlacFile : public CEncodedFile {
public:
    static constexpr unsigned kCompressionLevel = 5;

    CFlacFile();
    ~CFlacFile() override;

    int Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite) override;
    unsigned AppendAudio(const void* pcm, unsigned length) override;
    void Close() override;

private:
    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                  uint32_t, uint32_t, void* self);
    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* self);
    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* self);
    void Release();

    // The samples of one call, widened to the encoder's 32 bits.
    static constexpr unsigned kChunkFrames = 2048;
    FLAC__int32 m_Samples[kChunkFrames * 2];
    FLAC__StreamEncoder* m_pEncoder;
    FLAC__StreamMetadata* m_pComments;  // lives as long as the encoder
};
