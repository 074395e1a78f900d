// HLS segments made by Debian's ffmpeg (tests/stream/make-segments.sh)
// through the demuxer: each frame whole and in place on the segment's
// clock, the frames written one after another read back by ffprobe as the
// codec they are; anything else refused as what it is, without a crash.
#include "frames/AdtsHeader.h"
#include "frames/Mp3Header.h"
#include "stream/SegmentDemuxer.h"
#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <cmath>
#include <sstream>

namespace {

std::string Tool(const std::string& line)
{
    ToolRun run = RunTool(line);
    EXPECT_EQ(run.exitCode, 0) << line << "\n" << run.output;
    return run.output;
}

std::wstring SegmentFile(const char* name)
{
    static std::string folder;
    if (folder.empty()) {
        std::string made = Tool("sh " + UnixArg(TestBinDir() + L"\\..\\..\\tests\\stream\\make-segments.sh"));
        folder = made.substr(0, made.find('\n'));
    }
    std::string path = folder + "/" + name;
    return L"Z:" + std::wstring(path.begin(), path.end());
}

std::string Segment(const char* name)
{
    return *name ? ReadBytes(SegmentFile(name)) : std::string();
}

struct Demuxed {
    SegmentResult opened = kSegmentDamaged, ended = kSegmentDamaged;
    StreamKind kind = kKindUnknown;
    std::vector<std::string> frames;
    std::vector<StreamFrame> info;
    std::vector<double> seconds;
    unsigned long long samples = 0;
    bool whole = true;  // every frame parses as one whole ADTS or MP3 frame
};

Demuxed Demux(const std::string& bytes, const std::string& init = std::string())
{
    Demuxed d;
    CSegmentDemuxer demuxer;
    auto p = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    d.opened = demuxer.Open(p(bytes), bytes.size(), init.empty() ? nullptr : p(init), init.size());
    d.kind = demuxer.Kind();
    StreamFrame f;
    for (double at; demuxer.Next(f, at);) {
        AdtsHeader adts;
        Mp3Header mp3;
        bool aac = d.kind == kKindAac;
        d.whole = d.whole && (aac ? adts.Parse(f.data, f.bytes) && adts.bytes == f.bytes
                                  : mp3.Parse(f.data, f.bytes) && mp3.bytes == f.bytes) &&
                  f.samples == (aac ? adts.samples : mp3.samples) && f.rate == (aac ? adts.rate : mp3.rate);
        d.frames.emplace_back(reinterpret_cast<const char*>(f.data), f.bytes);
        f.data = nullptr;
        d.info.push_back(f);
        d.seconds.push_back(at);
        d.samples += f.samples;
    }
    d.ended = demuxer.Result();
    return d;
}

// What ffprobe reads of a file's audio: its packets, the first one's
// timestamp and the time from it to the end of the last.
struct Probed {
    std::string codec;
    unsigned packets = 0;
    double first = 0, seconds = 0;
};

Probed Probe(const std::string& unixFile)
{
    Probed p;
    std::string codec = Tool("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 " +
                             unixFile);
    p.codec = codec.substr(0, codec.find('\n'));
    std::istringstream lines(Tool("ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time "
                                  "-of csv=p=0 " + unixFile));
    for (std::string line; std::getline(lines, line);) {
        if (line.find(',') == std::string::npos || line[0] == ',')
            continue;  // a line of a packet's side data
        double pts = strtod(line.c_str(), nullptr), duration = strtod(line.c_str() + line.find(',') + 1, nullptr);
        p.first = p.packets++ ? p.first : pts;
        p.seconds = pts + duration - p.first;
    }
    return p;
}

}  // namespace

// Each kind of segment: AAC or MP3, every frame whole, as many frames and
// samples as ffprobe reads in the segment, each frame where the one before
// ended, from the segment's timestamp (packed audio: its ID3 tag's, the TS
// segment's own); the frames one after another make a file ffprobe reads
// as the same codec with as many packets and ffmpeg decodes without a word.
TEST(SegmentDemuxer, HandsOutEverySegmentsFramesWholeAndInPlace)
{
    struct {
        const char* name;
        const char* init;
        StreamKind kind;
        const char* packedFrom;  // packed audio: the TS segment its frames came from
    } rows[] = {
        {"ts0.ts", "", kKindAac, nullptr},          {"ts1.ts", "", kKindAac, nullptr},
        {"aac1.aac", "", kKindAac, "ts1.ts"},       {"aac2.aac", "", kKindAac, "ts2.ts"},
        {"mp40.m4s", "init.mp4", kKindAac, nullptr}, {"mp42.m4s", "init.mp4", kKindAac, nullptr},
        {"mp3ts1.ts", "", kKindMp3, nullptr},       {"mp31.mp3", "", kKindMp3, "mp3ts1.ts"},
        {"tone.mp3", "", kKindMp3, nullptr},
    };
    TempDir dir;
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        Demuxed d = Demux(Segment(r.name), Segment(r.init));
        ASSERT_EQ(d.opened, kSegmentOk);
        EXPECT_EQ(d.ended, kSegmentOk);
        EXPECT_EQ(d.kind, r.kind);
        EXPECT_TRUE(d.whole);
        ASSERT_GT(d.frames.size(), 30u);
        const unsigned rate = d.info[0].rate;
        EXPECT_EQ(rate, 44100u);
        EXPECT_EQ(d.info[0].channels, 2u);
        EXPECT_TRUE(d.info[0].newFormat);
        EXPECT_FALSE(d.info.back().newFormat);

        std::string file = UnixArg(SegmentFile(r.name));
        if (*r.init) {
            std::wstring joined = dir.File(L"joined.mp4");
            ASSERT_TRUE(WriteBytes(joined, Segment(r.init) + Segment(r.name)));
            file = UnixArg(joined);
        }
        Probed in = Probe(file);
        EXPECT_EQ(d.frames.size(), in.packets);
        EXPECT_NEAR(static_cast<double>(d.samples), in.seconds * rate, 1);
        double tag = 0;
        if (r.packedFrom) {
            tag = std::stod(ReadBytes(SegmentFile(r.name) + L".pts")) / 90000;
            Demuxed ts = Demux(Segment(r.packedFrom));
            EXPECT_TRUE(ts.frames == d.frames);
            for (size_t i = 0; i < d.seconds.size() && i < ts.seconds.size(); ++i)
                ASSERT_NEAR(d.seconds[i], ts.seconds[i], 1.5 / 90000) << i;
        }
        EXPECT_NEAR(d.seconds[0], in.first + tag, 0.5 / 90000);
        for (size_t i = 1; i < d.seconds.size(); ++i)
            ASSERT_NEAR(d.seconds[i] - d.seconds[i - 1], static_cast<double>(d.info[i - 1].samples) / rate,
                        1.5 / 90000)
                << i;

        std::wstring out = dir.File(r.kind == kKindAac ? L"frames.aac" : L"frames.mp3");
        std::string all;
        for (auto& f : d.frames)
            all += f;
        ASSERT_TRUE(WriteBytes(out, all));
        Probed back = Probe(UnixArg(out));
        EXPECT_EQ(back.codec, r.kind == kKindAac ? "aac" : "mp3");
        EXPECT_EQ(back.packets, d.frames.size());
        EXPECT_NEAR(back.seconds * rate, static_cast<double>(d.samples), 1);
        EXPECT_EQ(Tool("ffmpeg -v error -i " + UnixArg(out) + " -f null - 2>&1"), "");
    }
    // One segment goes on where the one before ended.
    Demuxed first = Demux(Segment("ts1.ts")), next = Demux(Segment("ts2.ts"));
    ASSERT_FALSE(first.seconds.empty() || next.seconds.empty());
    EXPECT_NEAR(next.seconds[0], first.seconds.back() + 1024.0 / 44100, 1.5 / 90000);
}

// What is no station's AAC or MP3 is refused as what it is; a damaged
// segment gives its whole frames and nothing else; none of it crashes.
TEST(SegmentDemuxer, RefusesWhatItCannotRecordAndSurvivesDamage)
{
    std::string ts = Segment("ts1.ts"), fragment = Segment("mp41.m4s");
    std::string zeroed = ts;
    zeroed.replace(9000, 3000, 3000, '\0');
    std::string init = Segment("init.mp4");
    TempDir dir;
    struct {
        const char* what;
        std::string bytes, init;
        SegmentResult opened;
        size_t minFrames, maxFrames;
        const wchar_t* traced;  // in the trace: why, or what was passed over
        bool ffmpegSays;        // and an error of FFmpeg's own
    } rows[] = {
        {"nothing", "", "", kSegmentDamaged, 0, 0, L"] a segment of 0 bytes (0 before it) cannot be opened\n", false},
        {"a web page", "<!DOCTYPE html><html><body>Not here</body></html>\n", "", kSegmentDamaged, 0, 0,
         L"] no segment FFmpeg can open: Invalid data found when processing input\n", false},
        {"a fragment without its init segment", fragment, "", kSegmentDamaged, 0, 0,
         L"[FFmpeg] [mov,mp4,m4a,3gp,3g2,mj2 @ ", true},
        {"AC-3 in TS", Segment("ac3.ts"), "", kSegmentOtherCodec, 0, 0,
         L"] no AAC or MP3 in the mpegts segment (1 audio streams of 1)\n", false},
        {"Opus in MP4", Segment("opus.mp4"), "", kSegmentOtherCodec, 0, 0, L"(1 audio streams of 1)\n", false},
        {"video alone", Segment("video.ts"), "", kSegmentNoAudio, 0, 0, L"(0 audio streams of 1)\n", false},
        {"a TS segment cut in half", ts.substr(0, ts.size() / 2 + 77), "", kSegmentOk, 38, 44,
         L"] frames of the segment damaged or not whole, passed over: 2\n", false},
        // How much FFmpeg's TS reader finds again after the zeroed bytes depends on where the frames fall.
        {"a TS segment with 3000 bytes zeroed", zeroed, "", kSegmentOk, 10, 85,
         L"] frames of the segment damaged or not whole, passed over: ", false},
        {"a fragment cut in half", fragment.substr(0, fragment.size() / 2), init, kSegmentOk, 38, 48,
         L"partial file\n", true},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        TraceCapture trace;
        Demuxed d = Demux(r.bytes, r.init);
        EXPECT_EQ(d.opened, r.opened);
        EXPECT_TRUE(d.whole);
        EXPECT_GE(d.frames.size(), r.minFrames);
        EXPECT_LE(d.frames.size(), r.maxFrames);
        std::wstring lines;
        for (auto& line : trace.Lines())
            lines += line;
        // FFmpeg's warnings about the damage stay unsaid.
        EXPECT_NE(lines.find(r.traced), std::wstring::npos) << Narrow(lines);
        EXPECT_EQ(lines.find(L"[FFmpeg] ") != std::wstring::npos, r.ffmpegSays) << Narrow(lines);
        // What is handed out of the damage decodes without a word.
        std::string all;
        for (auto& f : d.frames)
            all += f;
        if (!all.empty()) {
            ASSERT_TRUE(WriteBytes(dir.File(L"frames.aac"), all));
            EXPECT_EQ(Tool("ffmpeg -v error -i " + UnixArg(dir.File(L"frames.aac")) + " -f null - 2>&1"), "");
        }
    }
    // Every kind of segment cut short at one length after another, or with
    // five bytes overwritten there.
    for (const char* name : {"ts1.ts", "aac1.aac", "mp31.mp3", "mp3ts1.ts", "mp41.m4s"}) {
        std::string bytes = Segment(name), withInit = *name == 'm' && name[2] == '4' ? init : "";
        for (size_t at = 1; at < bytes.size(); at += 313) {
            std::string overwritten = bytes;
            overwritten.replace(at, 5, 5, '\xFF');
            ASSERT_TRUE(Demux(bytes.substr(0, at), withInit).whole) << name << " cut to " << at;
            ASSERT_TRUE(Demux(overwritten, withInit).whole) << name << " overwritten at " << at;
        }
    }
}
