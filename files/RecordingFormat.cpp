#include "files/RecordingFormat.h"
#include "files/AdtsFile.h"
#include "files/FlacFile.h"
#include "files/Mp3File.h"
#include "files/OggFile.h"
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

const wchar_t* RecordingFormat::StreamExtension(StreamKind kind, OggCodec codec)
{
    switch (kind) {
    case kKindMp3: return L"mp3";
    case kKindAac: return L"aac";
    case kKindOgg: return codec == kOggVorbis ? L"ogg" : codec == kOggOpus ? L"opus" : nullptr;
    default: return nullptr;
    }
}

CStreamFile* RecordingFormat::NewStreamFile(StreamKind kind, OggCodec codec)
{
    if (!StreamExtension(kind, codec))
        return nullptr;
    switch (kind) {
    case kKindMp3: return new (std::nothrow) CMp3File();
    case kKindAac: return new (std::nothrow) CAdtsFile();
    default: return new (std::nothrow) COggFile();
    }
}

const wchar_t* RecordingFormat::OwnExtension(int index)
{
    static const wchar_t* const kStreams[] = {L"mp3", L"aac", L"ogg", L"cue"};
    if (index < 0)
        return nullptr;
    if (index < kTypeCount)
        return Name(static_cast<FileType>(index));
    index -= kTypeCount;
    return index < static_cast<int>(sizeof kStreams / sizeof kStreams[0]) ? kStreams[index] : nullptr;
}
