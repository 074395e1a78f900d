// The splitter and the sniffer on real streams made by Debian's encoders
// (lame, ffmpeg's AAC and Vorbis, opusenc), checked against ffprobe.
#include "frames/FrameSplitter.h"
#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Encoded {
    const char* name;
    const char* sox;      // the input: sox's rate and channels
    const char* encoder;  // IN: the WAV, OUT: the stream file
    StreamKind kind;
};

const Encoded kStreams[] = {
    {"mp3", "-r 44100 -c 2", "lame -t --quiet -b 128 IN OUT", kKindMp3},
    {"mp3", "-r 22050 -c 1", "lame -t --quiet -b 32 IN OUT", kKindMp3},
    {"mp3", "-r 8000 -c 1", "lame -t --quiet -b 16 IN OUT", kKindMp3},
    {"aac", "-r 48000 -c 2", "ffmpeg -v error -y -i IN -c:a aac -b:a 96k -f adts OUT", kKindAac},
    {"opus", "-r 48000 -c 2", "opusenc --quiet IN OUT", kKindOgg},
    {"ogg", "-r 44100 -c 2", "ffmpeg -v error -y -i IN -c:a libvorbis OUT", kKindOgg},
};

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at; (at = text.find(from)) != std::string::npos;)
        text.replace(at, from.size(), to);
    return text;
}

// 4 s of a tone in the row's format, encoded; empty when a tool failed.
std::string Encode(const TempDir& dir, const Encoded& e, int index, double seconds = 4)
{
    std::wstring wav = dir.File(L"in" + std::to_wstring(index) + L".wav");
    std::wstring out = dir.File(L"out" + std::to_wstring(index) + L"." + std::wstring(e.name, e.name + strlen(e.name)));
    ToolRun made = RunTool("sox -n " + std::string(e.sox) + " -b 16 " + UnixArg(wav) + " synth " +
                           std::to_string(seconds) + " sine 300-900 && " +
                           Replace(Replace(e.encoder, "IN", UnixArg(wav)), "OUT", UnixArg(out)));
    EXPECT_EQ(made.exitCode, 0) << made.output;
    return ReadBytes(out);
}

struct Split {
    std::vector<std::string> frames;
    std::vector<StreamFrame> info;  // data pointers cleared
    unsigned long long skipped = 0;
    double seconds = 0;
};

// Fed in pieces of 1 to 3000 bytes, as a network hands them over.
Split SplitAll(const std::string& bytes, StreamKind kind)
{
    Split s;
    CFrameSplitter splitter(kind);
    size_t at = 0;
    for (unsigned piece = 1; at <= bytes.size(); piece = piece * 7 % 3001 + 1) {
        size_t n = std::min<size_t>(piece, bytes.size() - at);
        splitter.Feed(bytes.data() + at, n);
        at += n;
        bool final = at == bytes.size();
        for (StreamFrame f; splitter.Next(f, final);) {
            s.frames.emplace_back(reinterpret_cast<const char*>(f.data), f.bytes);
            f.data = nullptr;
            s.info.push_back(f);
            if (f.rate)
                s.seconds += static_cast<double>(f.samples) / f.rate;
        }
        if (final)
            break;
    }
    s.skipped = splitter.Skipped();
    return s;
}

std::string Joined(const std::vector<std::string>& frames, size_t from = 0)
{
    std::string all;
    for (size_t i = from; i < frames.size(); ++i)
        all += frames[i];
    return all;
}

}  // namespace

// Every encoder's stream is told by its bytes and cut into exactly its own
// frames or pages (nothing skipped, the right count and duration); joined
// at a byte in the middle, only the part frame before the first whole one
// goes; two streams one after the other start a new format each.
TEST(Frames, EachStreamIsToldAndCutIntoItsOwnFrames)
{
    TempDir dir;
    int index = 0;
    for (const Encoded& e : kStreams) {
        SCOPED_TRACE(std::string(e.name) + " " + e.sox);
        std::string bytes = Encode(dir, e, index++);
        ASSERT_GT(bytes.size(), 8000u);
        StreamSniff sniff = StreamSniff::Of(reinterpret_cast<const unsigned char*>(bytes.data()), 16384, false);
        EXPECT_EQ(sniff.kind, e.kind);
        EXPECT_EQ(sniff.start, 0u);

        Split whole = SplitAll(bytes, e.kind);
        EXPECT_EQ(whole.skipped, 0u);
        EXPECT_TRUE(Joined(whole.frames) == bytes);
        std::wstring file = dir.File(L"probe");
        WriteBytes(file, bytes);
        ToolRun probe = RunTool("f=" + UnixArg(file) +
                                "; ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 $f"
                                " && ffprobe -v error -show_entries format=duration -of csv=p=0 $f");
        unsigned long packets = strtoul(probe.output.c_str(), nullptr, 10);
        double duration = atof(probe.output.c_str() + probe.output.find('\n') + 1);
        if (e.kind != kKindOgg) {
            EXPECT_EQ(whole.frames.size(), packets) << probe.output;
        } else {
            size_t headers = 0;
            for (const StreamFrame& f : whole.info)
                headers += f.header;
            EXPECT_EQ(headers, 2u);
        }
        EXPECT_NEAR(whole.seconds, duration, 0.07) << probe.output;
        EXPECT_TRUE(whole.info.front().newFormat);
        for (size_t i = 1; i < whole.info.size(); ++i)
            ASSERT_FALSE(whole.info[i].newFormat) << i;

        // Joined in the middle: the frames from the first whole one on, untouched.
        if (e.kind != kKindOgg) {
            size_t cut = 1001, boundary = 0, first = 0;
            while (boundary < cut)
                boundary += whole.frames[first++].size();
            Split joined = SplitAll(bytes.substr(cut), e.kind);
            EXPECT_EQ(joined.skipped, boundary - cut);
            EXPECT_TRUE(Joined(joined.frames) == Joined(whole.frames, first));
        }
    }
    // One stream after another: each begins a format (Ogg: a chain of
    // another codec does; one of the same format goes on).
    std::string a = Encode(dir, kStreams[0], 20, 1), b = Encode(dir, kStreams[1], 21, 1);
    std::string opus = Encode(dir, kStreams[4], 22, 1), vorbis = Encode(dir, kStreams[5], 23, 1);
    struct {
        std::string bytes;
        StreamKind kind;
        size_t formats;
    } chains[] = {{a + b + a, kKindMp3, 3}, {opus + opus, kKindOgg, 1}, {opus + vorbis, kKindOgg, 2}};
    for (auto& c : chains) {
        Split s = SplitAll(c.bytes, c.kind);
        size_t formats = 0;
        for (const StreamFrame& f : s.info)
            formats += f.newFormat;
        EXPECT_EQ(formats, c.formats);
        EXPECT_TRUE(Joined(s.frames) == c.bytes);
    }
}

// Answers that are no stream are told as what they are; junk is nothing,
// and a start too short to judge asks for more.
TEST(StreamSniff, TellsPagesPlaylistsAndJunk)
{
    std::string junk(70000, '\0');
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 2654435761u) >> 13);
    struct {
        std::string bytes;
        bool final;
        StreamKind kind;
        bool needMore;
    } rows[] = {
        {"<!DOCTYPE html><html><body>Not here</body></html>", true, kKindHtml, false},
        {"\xEF\xBB\xBF  <html>", false, kKindHtml, false},
        {"[playlist]\r\nFile1=http://127.0.0.1:8000/live\r\n", true, kKindPls, false},
        {"#EXTM3U\n#EXTINF:-1,Station\nhttp://127.0.0.1/a.mp3\n", true, kKindM3u, false},
        {"http://127.0.0.1/a.mp3\n", true, kKindM3u, false},
        {"#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n", false, kKindHls, false},
        {"#EXTM3U\n", false, kKindUnknown, true},
        {junk, true, kKindUnknown, false},
        {"\xFF\xFB\x90", false, kKindUnknown, true},
        {"ID3\x04\x00\x00\x00\x00\x10\x00", false, kKindUnknown, true},
    };
    for (auto& r : rows) {
        StreamSniff s = StreamSniff::Of(reinterpret_cast<const unsigned char*>(r.bytes.data()), r.bytes.size(), r.final);
        EXPECT_EQ(s.kind, r.kind) << r.bytes.substr(0, 20);
        EXPECT_EQ(s.needMore, r.needMore) << r.bytes.substr(0, 20);
    }
}
