// Opus in Ogg through libopus and libopusenc at a chosen bit rate. Opus
// works at 48 kHz; libopusenc resamples other rates and the header keeps
// the input rate. Pages go straight to the file through the Win32 handle,
// at least every half second, so a killed recording keeps all but about
// that much; the close writes the end-of-stream page, and pre-skip and end
// trimming make a decoder give back exactly the frames recorded.
#pragma once

#include "files/EncodedFile.h"

#include <opus/opusenc.h>

class COpusFile : public CEncodedFile {
public:
    // At most this long (48 kHz samples) between a packet and its page.
    static constexpr int kMuxingDelay = 24000;

    explicit COpusFile(int kbps);
    ~COpusFile() override;

    int Create(const wchar_t* path, const WAVEFORMATEX& format, int overwrite) override;
    unsigned AppendAudio(const void* pcm, unsigned length) override;
    void Close() override;

private:
    static int OnWrite(void* self, const unsigned char* data, opus_int32 length);
    static int OnClose(void*) { return 0; }  // the handle is closed by Close

    OggOpusEnc* m_pEncoder;
    int m_Kbps;
};
