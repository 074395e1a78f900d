// The real program records from the test station (tests/stream/station.py
// on 127.0.0.1, started around these tests by run-stream-tests.sh, which
// hands over its port and its log of every frame sent). Each file must hold
// the frames that went live in its program's window: every one the station
// sent, in order, none twice, the first within 0.5 s of the start; mpg123
// and ffprobe read the files.
#include "app/StationFiles.h"
#include "files/WaveWriter.h"
#include "support/Decoders.h"

namespace {

struct Window {
    const wchar_t* title;
    std::wstring path;
    StreamKind kind;
    const wchar_t* extension;
    int seconds;
    CDateTime start;
};

// Checks a program's one file against the station's log: its frames in
// order and none twice, within the window; breaks (index gaps) as expected.
void CheckWindow(Recorder& rec, const Window& w, size_t breaks, double frameSeconds)
{
    SCOPED_TRACE(Narrow(w.title));
    std::wstring file = rec.wavDir + L"\\" + w.title + L"_" + Stamp(w.start) + L"_000" + w.extension;
    ASSERT_TRUE(Exists(file)) << Narrow(file);
    std::string base = Narrow(w.path);
    Recorded r = ReadStreamFile(file, w.kind, SentFrames(base.substr(0, base.find('?'))));
    ASSERT_FALSE(r.frames.empty());
    EXPECT_EQ(r.unknown, 0u);
    size_t gaps = 0;
    for (size_t i = 1; i < r.frames.size(); ++i) {
        EXPECT_GT(r.frames[i].index, r.frames[i - 1].index) << "frame " << i << " in order, none twice";
        gaps += r.frames[i].index != r.frames[i - 1].index + 1;
    }
    EXPECT_EQ(gaps, breaks);
    double start = UnixTime(w.start);
    EXPECT_NEAR(r.frames.front().time, start, 0.5) << "the first frame went live at the start";
    if (!breaks) {
        EXPECT_NEAR(r.seconds, w.seconds, frameSeconds + 0.01) << "the program's length, within a frame";
    }
    // The independent decoders read all of it.
    ToolRun probe = RunTool("ffprobe -v error -show_entries format=duration -of csv=p=0 " + UnixArg(file));
    EXPECT_EQ(probe.exitCode, 0) << probe.output;
    EXPECT_NEAR(atof(probe.output.c_str()), r.seconds, 0.5);
    if (w.kind == kKindMp3) {
        EXPECT_EQ(r.info, r.frames.size()) << "the Info frame counts the frames";
        ToolRun decoded = RunTool("mpg123 -q -t " + UnixArg(file));
        EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
    }
}

// Runs the program with that one program and kills it 12 s after its start.
void KillIntoProgram(Recorder& rec, ProgramItem* program)
{
    rec.Write({program}, 100);
    ChildProcess child;
    ASSERT_NE(rec.Launch(child), nullptr);
    ASSERT_TRUE(rec.WaitForTrace("Start Recording", 30000));
    Sleep(12000);
    child.Kill();
}

}  // namespace

// One program (MP3), then, back to back with it, two on another station
// (AAC), connected in its own lead beside the first: the third file begins
// with the frame after the second's last, nothing lost or twice at the
// seam, and the station connected once for both.
TEST(StationRecording, OneProgramAndTwoBackToBack)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_STATION_PORT");
    Recorder rec;
    Window w[] = {{L"One", L"/mp3?every=10", kKindMp3, L".mp3", 15, SecondsFromNow(12)},
                  {L"Seam1", L"/aac", kKindAac, L".aac", 12, {}},
                  {L"Seam2", L"/aac", kKindAac, L".aac", 12, {}}};
    w[1].start = w[0].start;
    w[1].start.AddTicks(15 * CDateTime::kSecond);
    w[2].start = w[1].start;
    w[2].start.AddTicks(12 * CDateTime::kSecond);
    std::vector<ProgramItem*> programs;
    for (const Window& one : w)
        programs.push_back(StationProgram(one.start, one.seconds, one.title, one.path));
    rec.Write(programs, 100);
    CDateTime end = w[2].start;
    end.AddTicks(12 * CDateTime::kSecond);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(end)) + "] (ID=", 90000, 1500));
    CheckWindow(rec, w[0], 0, 1152.0 / 44100);
    CheckWindow(rec, w[1], 0, 1024.0 / 48000);
    CheckWindow(rec, w[2], 0, 1024.0 / 48000);
    // The station's titles change every 10 metadata blocks (5 s), in turn,
    // one in Shift-JIS (read in the locale's code page, 932 here): the CUE
    // sheet has them in order from where they came.
    std::string cue = ReadBytes(rec.wavDir + L"\\One_" + Stamp(w[0].start) + L"_000.cue");
    const std::string cycle[] = {"Test Title", "ニュース・天気", "Météo – 天気予報"};
    std::vector<std::pair<std::string, std::string>> tracks;  // title, offset
    for (size_t at = cue.find("  TRACK "); at != std::string::npos; at = cue.find("  TRACK ", at + 1)) {
        size_t title = cue.find("TITLE \"", at) + 7, index = cue.find("INDEX 01 ", at) + 9;
        tracks.push_back({cue.substr(title, cue.find('"', title) - title), cue.substr(index, 8)});
    }
    ASSERT_GE(tracks.size(), 3u) << cue;
    EXPECT_EQ(tracks.front().second, "00:00:00");
    for (size_t i = 1; i < tracks.size(); ++i) {
        EXPECT_GT(tracks[i].second, tracks[i - 1].second);
        size_t k = std::find(cycle, cycle + 3, tracks[i - 1].first) - cycle;
        EXPECT_EQ(tracks[i].first, cycle[(k + 1) % 3]) << cue;
    }
    auto sent = SentFrames("/aac");
    Recorded a = ReadStreamFile(rec.wavDir + L"\\Seam1_" + Stamp(w[1].start) + L"_000.aac", kKindAac, sent);
    Recorded b = ReadStreamFile(rec.wavDir + L"\\Seam2_" + Stamp(w[2].start) + L"_000.aac", kKindAac, sent);
    ASSERT_FALSE(a.frames.empty() || b.frames.empty());
    EXPECT_EQ(b.frames.front().index, a.frames.back().index + 1) << "the seam: 0 frames lost, 0 twice";
    EXPECT_EQ(rec.TraceCount("[CStationReader] " + Narrow(Station(L"/aac")) + " answered"), 1);
    EXPECT_EQ(rec.TraceCount("[CStationRecorder] " + Narrow(Station(L"/aac")) + " is set up ahead"), 1);
}

// A drop 4 s into the program, then 5 s of refusals: the recording goes on
// in the same file, the new burst fills what it can of the break and
// nothing twice; the break is told with what was lost. Then a .pls that
// leads to a server answering "ICY 200 OK".
TEST(StationRecording, ADropAndAPlaylistToAnIcyServer)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_STATION_PORT");
    Recorder rec;
    Window drop{L"News", L"/drop?after=15", kKindMp3, L".mp3", 28, SecondsFromNow(12)};
    Window pls{L"Talk", L"/list.pls", kKindMp3, L".mp3", 12, drop.start};
    pls.start.AddTicks(34 * CDateTime::kSecond);
    rec.Write({StationProgram(drop.start, drop.seconds, drop.title, drop.path),
               StationProgram(pls.start, pls.seconds, pls.title, pls.path)},
              100);
    CDateTime end = pls.start;
    end.AddTicks(pls.seconds * CDateTime::kSecond);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(end)) + "] (ID=", 90000, 1500));
    CheckWindow(rec, drop, 1, 1152.0 / 44100);
    pls.path = L"/icy";
    CheckWindow(rec, pls, 0, 1152.0 / 44100);
    std::string log = ReadBytes(rec.workDir.File(L"marivane.log"));
    size_t told = log.find("News: the stream broke at ");
    ASSERT_NE(told, std::string::npos) << log;
    // 5 s refused, 64 KB (4 s) of burst back: a few seconds lost, told as such.
    std::string lost = log.substr(told + 35, 8);
    EXPECT_TRUE(lost.rfind(" 0:00:0", 0) == 0 && lost[7] >= '1' && lost[7] <= '9') << log.substr(told, 60);
}

// Killed 12 s into a program: the file plays whole, its Info frame at most a few seconds behind.
TEST(StationRecording, KilledMidProgramTheFilePlays)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_STATION_PORT");
    Recorder rec;
    CDateTime start = SecondsFromNow(10);
    ASSERT_NO_FATAL_FAILURE(KillIntoProgram(rec, StationProgram(start, 60, L"Kill", L"/mp3")));
    std::wstring file = rec.wavDir + L"\\Kill_" + Stamp(start) + L"_000.mp3";
    Recorded r = ReadStreamFile(file, kKindMp3, SentFrames("/mp3"));
    EXPECT_EQ(r.unknown, 0u);
    EXPECT_NEAR(r.seconds, 12, 1.5);
    double behind = (static_cast<double>(r.frames.size()) - r.info) * 1152 / 44100;
    EXPECT_GE(behind, 0);
    EXPECT_LE(behind, CWaveWriter::kFlushRefreshes * CWaveWriter::kRefreshSeconds + 1.0) << "the Info frame's lag";
    ToolRun decoded = RunTool("mpg123 -q -t " + UnixArg(file));
    EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
}

namespace {

ProgramItem* HlsProgram(const CDateTime& start, int seconds, const wchar_t* title, const std::wstring& path,
                        unsigned long long variant = 0)
{
    ProgramItem* p = StationProgram(start, seconds, title, L"");
    p->m_Source.Assign((L"http://127.0.0.1:" + EnvironmentValue(L"MARIVANE_HLS_PORT") + path).c_str());
    p->m_Variant = variant;
    return p;
}

// A recording's frames against the HLS station's log: the frames on air
// from start to stop, to the frame, none missing or twice. Their on-air times.
std::vector<double> CheckOnAir(Recorder& rec, const wchar_t* title, const CDateTime& start, int seconds,
                               const std::string& path)
{
    SCOPED_TRACE(Narrow(title));
    const double frame = 1024.0 / 48000;
    std::wstring file = rec.wavDir + L"\\" + title + L"_" + Stamp(start) + L"_000.aac";
    std::vector<double> times = HlsOnAir(file, path, UnixTime(start));
    if (times.empty()) {
        ADD_FAILURE() << "no frames in " << Narrow(file);
        return times;
    }
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_FALSE(std::isnan(times[i])) << "frame " << i << " is one the station served";
        if (i) {
            EXPECT_NEAR(times[i] - times[i - 1], frame, 0.001) << "frame " << i << " follows the one before";
        }
    }
    EXPECT_NEAR(times.front(), UnixTime(start), frame) << "the first frame on air at the start";
    EXPECT_NEAR(times.back() + frame, UnixTime(start) + seconds, frame) << "the last one at the stop";
    ToolRun probe = RunTool("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                            UnixArg(file));
    EXPECT_EQ(atoi(probe.output.c_str()), static_cast<int>(times.size())) << probe.output;
    return times;
}

}  // namespace

// An HLS station on the broadcaster's clock, half a minute behind the air:
// one program (TS, the variant of the master's three it chose), then two back to
// back on another address (fMP4), set up beside the first. Each file holds
// the frames on air from its start to its stop, to the frame; the second
// of the pair goes on from the first's last frame; each ends once the
// segment holding its stop has come. Then a program started 40 s late
// takes its first 40 s from the station's long window. A device program
// right after the last records on time, its 10 s whole, while the HLS
// recording before it still waits for its last frames.
TEST(StationRecording, HlsOnTheBroadcastersClock)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_HLS_PORT");
    Recorder rec;
    CDateTime a = SecondsFromNow(12), b = a, c = a, d = a, e = a, late = SecondsFromNow(-40);
    b.AddTicks(14 * CDateTime::kSecond);
    c.AddTicks(24 * CDateTime::kSecond);
    d.AddTicks(34 * CDateTime::kSecond);
    e.AddTicks(44 * CDateTime::kSecond);
    rec.Write({HlsProgram(late, 50, L"Late", L"/long/ts.m3u8"), HlsProgram(a, 12, L"Radio", L"/master.m3u8?form=ts", 60000),
               HlsProgram(b, 10, L"Seam1", L"/live/mp4.m3u8"), HlsProgram(c, 10, L"Seam2", L"/live/mp4.m3u8"),
               Program(d, e, 0, L"Mic")},
              100);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[CWaveWriter] closed " + Narrow(rec.wavDir) + "\\Seam2_", 150000, 500));
    RecordedFiles mic = ReadRecording(rec.wavDir + L"\\Mic_" + Stamp(d), 48000, 2);
    EXPECT_NEAR(static_cast<double>(mic.pcm.size() / 4), 10 * 48000.0, 480) << "the device program, whole";
    CheckRamp(mic.pcm, 2, "the device program");
    CheckOnAir(rec, L"Late", late, 50, "/long/");
    // Told: all of the 40 s and more it started late came back.
    std::string log = ReadBytes(rec.workDir.File(L"marivane.log"));
    size_t told = log.find("Late: the recording started 0:00:");
    ASSERT_NE(told, std::string::npos) << log;
    std::string line = log.substr(told, log.find('\n', told) - told);
    EXPECT_EQ(line.substr(28, 7), line.substr(line.find("; ") + 2, 7)) << line;
    EXPECT_GE(atoi(line.substr(33, 2).c_str()), 40) << line;
    CheckOnAir(rec, L"Radio", a, 12, "/low/");  // the variant the program chose, not the best
    std::vector<double> first = CheckOnAir(rec, L"Seam1", b, 10, "/live/"), second = CheckOnAir(rec, L"Seam2", c, 10, "/live/");
    ASSERT_FALSE(first.empty() || second.empty());
    EXPECT_NEAR(second.front() - first.back(), 1024.0 / 48000, 0.001) << "the seam: 0 frames lost, 0 twice";
}

// Killed 12 s into an HLS program (placed by arrival: no broadcaster's
// clock): the .aac holds whole frames the station served, one after
// another, up to the kill, and plays to its last whole frame.
TEST(StationRecording, HlsKilledMidProgramTheFilePlays)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_HLS_PORT");
    Recorder rec;
    CDateTime start = SecondsFromNow(8);
    ASSERT_NO_FATAL_FAILURE(KillIntoProgram(rec, HlsProgram(start, 60, L"Kill", L"/nopdt/aac.m3u8")));
    std::wstring file = rec.wavDir + L"\\Kill_" + Stamp(start) + L"_000.aac";
    std::vector<double> times = HlsOnAir(file, "/nopdt/", 0);
    ASSERT_FALSE(times.empty());
    for (size_t i = 1; i < times.size(); ++i)
        ASSERT_NEAR(times[i] - times[i - 1], 1024.0 / 48000, 0.001) << "frame " << i;
    EXPECT_NEAR(times.size() * 1024.0 / 48000, 12, 4.5);  // segments of 2 s come whole
    ToolRun decoded = RunTool("ffmpeg -v error -i " + UnixArg(file) + " -f null - 2>&1");
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.output, "");
}
