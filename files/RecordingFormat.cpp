#include "files/RecordingFormat.h"
#include "files/FlacFile.h"
#include "files/OpusFile.h"
#include "files/WaveFile.h"

#include <new>

namespace {

// FLAC keeps about half the PCM of music and speech off the air (46 % of
// scripts/bench's pink noise with tones); loud, dense sound keeps more.
// The estimate errs on the large side: a disk warned of too early is better
// than one that fills unannounced.
constexpr double kFlacShare = 0.6;
// Ogg pages (one every half second or less) and packet lacing over the
// Opus packets themselves.
constexpr double kOggBytesPerSecond = 110;

}  // namespace

const wchar_t* RecordingFormat::Name(FileType type)
{
    switch (type) {
    case kFileFlac: return L"flac";
    case kFileOpus: return L"opus";
    default: return L"wav";
    }
}

FileType RecordingFormat::Parse(const wchar_t* text)
{
    for (int t = 0; text && t < kTypeCount; ++t)
        if (lstrcmpiW(text, Name(static_cast<FileType>(t))) == 0)
            return static_cast<FileType>(t);
    return kFileWav;
}

int RecordingFormat::ClampKbps(int kbps)
{
    return kbps < kMinOpusKbps ? kMinOpusKbps : kbps > kMaxOpusKbps ? kMaxOpusKbps : kbps;
}

double RecordingFormat::BytesPerSecond(unsigned rate, unsigned channels) const
{
    double pcm = 2.0 * rate * channels;
    switch (type) {
    case kFileFlac: return pcm * kFlacShare;
    case kFileOpus: return opusKbps * 1000.0 / 8 + kOggBytesPerSecond;
    default: return pcm;
    }
}

CMediaFile* RecordingFormat::NewFile() const
{
    switch (type) {
    case kFileFlac: return new (std::nothrow) CFlacFile();
    case kFileOpus: return new (std::nothrow) COpusFile(opusKbps);
    default: return new (std::nothrow) CWaveFile();
    }
}
