// One whole unit of what a station sends, as the splitter hands it on: an
// MP3 or AAC frame, or an Ogg page; its duration and format.
#pragma once

enum OggCodec { kOggNone, kOggOpus, kOggVorbis };

struct StreamFrame {
    const unsigned char* data = nullptr;  // valid until the splitter is fed or asked again
    unsigned bytes = 0;
    unsigned samples = 0;  // its duration in samples of rate; 0 for an Ogg header page
    unsigned rate = 0;     // MP3 and AAC: the header's; Opus 48000; Vorbis its own
    unsigned channels = 0;
    unsigned bitrate = 0;  // kbit/s: an MP3 header's, a Vorbis stream's nominal; else 0
    OggCodec codec = kOggNone;
    // An Ogg page of the stream's headers (identification, comments, setup),
    // which every file of it begins with.
    bool header = false;
    // The first frame, or the first of another format: another rate,
    // channels, MPEG version, codec. Its file is the next number.
    bool newFormat = false;
};
