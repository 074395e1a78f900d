// What a recording's files are: WAV, FLAC or Opus at a bit rate. The one
// place that names the types, makes their file objects and says how many bytes a second of audio takes on disk (for the
// Audio page's size per hour and the disk-space notice).
#pragma once

#include "frames/StreamFrame.h"
#include "frames/StreamSniff.h"

class CMediaFile;
class CStreamFile;

enum FileType : int { kFileWav = 0, kFileFlac = 1, kFileOpus = 2 };

struct RecordingFormat {
    static constexpr int kTypeCount = 3;
    static constexpr int kMinOpusKbps = 16, kMaxOpusKbps = 256, kDefaultOpusKbps = 96;
    // Room for the longest "NAME=value" Vorbis comment.
    static constexpr int kCommentSize = 1600;

    FileType type;
    int opusKbps;

    explicit RecordingFormat(FileType t = kFileWav, int kbps = kDefaultOpusKbps) : type(t), opusKbps(ClampKbps(kbps)) {}
    // "wav", "flac", "opus": the settings' text and the file extension.
    static const wchar_t* Name(FileType type);
    // The type a settings text names; WAV when it names none.
    static FileType Parse(const wchar_t* text);
    static int ClampKbps(int kbps);
    const wchar_t* Extension() const { return Name(type); }
    // Exact for WAV; for FLAC and Opus what broadcast sound takes on average.
    double BytesPerSecond(unsigned rate, unsigned channels) const;
    // A new file object of this type (null when memory is short).
    CMediaFile* NewFile() const;

    // A station's stream as it sends it: "mp3", "aac", "opus" (Ogg Opus) or
    // "ogg" (Ogg Vorbis); null for a kind that is no stream.
    static const wchar_t* StreamExtension(StreamKind kind, OggCodec codec);
    // A new file object for that stream (null as above).
    static CStreamFile* NewStreamFile(StreamKind kind, OggCodec codec);
    // The extensions of a recording's own files, a stream's and its CUE
    // sheet's too, from index 0; null past the last.
    static const wchar_t* OwnExtension(int index);
};
