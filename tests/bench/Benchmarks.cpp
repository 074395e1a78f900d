// Figures a user would ask for, measured on the real program under Wine.
// Not part of the test run: scripts/bench runs these, with the load and the
// peer recorder around them. Each prints its figure last.
#include "app/StationFiles.h"
#include "foundation/DateTime.h"
#include "support/WavChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Prints "figure: median M ms, max X ms over N what" (X the largest in size).
void PrintFigure(const char* figure, std::vector<double> v, const char* what, const char* target = "")
{
    std::sort(v.begin(), v.end());
    double median = v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    double largest = v.empty() ? 0.0 : std::max(std::fabs(v.front()), std::fabs(v.back()));
    printf("%s: median %.1f ms, max %.1f ms over %zu %s%s\n", figure, median, largest, v.size(), what, target);
}

// n programs of length s, every `every` s from 8 s on, written to the
// configuration and run to the last stop; their spans and file prefixes.
struct Programs {
    std::vector<std::pair<CDateTime, CDateTime>> spans;
    std::vector<std::wstring> prefixes;
};
Programs RunPrograms(Recorder& rec, int n, int length, int every, const wchar_t* name)
{
    Programs p;
    std::vector<ProgramItem*> list;
    for (int i = 0; i < n; ++i) {
        p.spans.push_back({SecondsFromNow(8 + every * i), SecondsFromNow(8 + every * i + length)});
        std::wstring title = name + std::to_wstring(i);
        list.push_back(Program(p.spans.back().first, p.spans.back().second, 0, title.c_str()));
        p.prefixes.push_back(rec.wavDir + L"\\" + title + L"_" + Stamp(p.spans.back().first));
    }
    rec.Write(list, 100);
    rec.RunUntil("[" + Narrow(Text(p.spans.back().second)) + "] (ID=", 150000, 1500);
    return p;
}

}  // namespace

// A 60 s recording split at 2 MB into MARIVANE_BENCH_DIR; scripts/bench
// loads the machine meanwhile and counts the frames against its peer.
TEST(Bench, CaptureCompleteness)
{
    std::wstring out = EnvironmentValue(L"MARIVANE_BENCH_DIR");
    ASSERT_FALSE(out.empty()) << "run by scripts/bench";
    Recorder rec;
    rec.wavDir = out;
    CDateTime start = SecondsFromNow(5), stop = SecondsFromNow(65);
    rec.Write({Program(start, stop, 0, L"Completeness")}, 2);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil(") Stop Recording", 90000, 1500));
    // The program's trace beside the files, for a run whose figures want a reason.
    CopyFileW(rec.traceFile.c_str(), (out + L"\\trace.txt").c_str(), FALSE);
}

// Ten programs of 5 s back to back, as a listener records consecutive
// broadcasts: the gap in the ramp at each seam (negative: frames repeated)
// and each program's length against its schedule.
TEST(Bench, Seams)
{
    const int kPrograms = 10, kLength = 5;
    Recorder rec;
    Programs p;
    ASSERT_NO_FATAL_FAILURE(p = RunPrograms(rec, kPrograms, kLength, kLength, L"Seam"));
    const std::vector<std::wstring>& prefixes = p.prefixes;
    std::vector<double> gaps, errors;
    long long last = -1;  // the frame before the program's first
    for (int i = 0; i < kPrograms; ++i) {
        std::vector<unsigned> frames = CheckRamp(ReadRecording(prefixes[i], 48000, 2).pcm, 2, "");
        errors.push_back(std::fabs(frames.size() - kLength * 48000.0) / 48.0);
        if (last >= 0 && !frames.empty())
            gaps.push_back((frames.front() - last - 1) / 48.0);
        last = frames.empty() ? -1 : static_cast<long long>(frames.back());
    }
    PrintFigure("seam gap", gaps, "seams");
    PrintFigure("duration error", errors, "programs");
}

// The program idle for 125 s with 100 programs listed; scripts/bench reads
// its CPU time from Linux (Wine's GetProcessTimes counts next to nothing).
TEST(Bench, IdleCost)
{
    Recorder rec;
    std::vector<ProgramItem*> list;
    for (int i = 0; i < 100; ++i)
        list.push_back(Program(SecondsFromNow(86400 + 3600 * i), SecondsFromNow(86400 + 3600 * i + 1800),
                               i % 3 ? 0u : 0x7Fu, (L"Idle " + std::to_wstring(i)).c_str()));
    rec.Write(list, 100);
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    Sleep(125000);
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
}

// Ten programs of 4 s, 8 s apart, each opened on its own: the wall time
// of each one's first and last frame by the feeder's clock
// (MARIVANE_FEEDER_CLOCK, "n wall": when ramp frame n was written) against
// its scheduled start and stop. The pipe's own latency is part of it.
TEST(Bench, StartStopError)
{
    std::wstring clockFile = EnvironmentValue(L"MARIVANE_FEEDER_CLOCK");
    ASSERT_FALSE(clockFile.empty()) << "run by scripts/bench";
    Recorder rec;
    Programs p;
    ASSERT_NO_FATAL_FAILURE(p = RunPrograms(rec, 10, 4, 8, L"Edge"));
    unsigned long long n0 = 0;
    double wall0 = 0;
    FILE* clock = _wfopen(clockFile.c_str(), L"r");
    ASSERT_NE(clock, nullptr);
    ASSERT_EQ(fscanf(clock, "%llu %lf", &n0, &wall0), 2);
    fclose(clock);
    // A local time as Unix seconds.
    auto unix = [](const CDateTime& local) { return static_cast<double>(UtcTicksOf(local)) / 1e7 - 11644473600.0; };
    std::vector<double> starts, stops;
    for (size_t i = 0; i < p.spans.size(); ++i) {
        std::vector<unsigned> frames = CheckRamp(ReadRecording(p.prefixes[i], 48000, 2).pcm, 2, Narrow(p.prefixes[i]));
        if (frames.empty())
            continue;
        double first = wall0 + (static_cast<double>(frames.front()) - static_cast<double>(n0)) / 48000;
        starts.push_back((first - unix(p.spans[i].first)) * 1000);
        stops.push_back((first + frames.size() / 48000.0 - unix(p.spans[i].second)) * 1000);
    }
    PrintFigure("start error", starts, "programs", " (target max <= 10 ms)");
    PrintFigure("stop error", stops, "programs", " (target max <= 10 ms)");
}

// One program of 75 s at 48000 Hz stereo in the format MARIVANE_BENCH_FORMAT
// names (wav, flac, opus at 96 kbit/s), into MARIVANE_BENCH_DIR when set,
// from the device MARIVANE_BENCH_DEVICE names (the default one when unset);
// scripts/bench reads the CPU time of 60 s of it from Linux, beside arecord
// and a minimal WASAPI client, and the size of the files. With
// MARIVANE_BENCH_STATION (a path of the test station) or MARIVANE_BENCH_HLS
// (of the test HLS station), the station's stream.
TEST(Bench, RecordingCpu)
{
    Recorder rec;
    rec.deviceName = EnvironmentValue(L"MARIVANE_BENCH_DEVICE");
    rec.fileFormat = RecordingFormat::Parse(EnvironmentValue(L"MARIVANE_BENCH_FORMAT").c_str());
    std::wstring out = EnvironmentValue(L"MARIVANE_BENCH_DIR"), station = EnvironmentValue(L"MARIVANE_BENCH_STATION"),
                 hls = EnvironmentValue(L"MARIVANE_BENCH_HLS");
    if (!out.empty())
        rec.wavDir = out;
    ProgramItem* program = Program(SecondsFromNow(5), SecondsFromNow(80), 0, L"Cpu");
    if (!station.empty())
        program->m_Source.Assign(Station(station).c_str());
    if (!hls.empty())
        program->m_Source.Assign((L"http://127.0.0.1:" + EnvironmentValue(L"MARIVANE_HLS_PORT") + hls).c_str());
    rec.Write({program}, 100);
    // The trace is not polled while the CPU is sampled: reading it ten times a
    // second costs the server more than the recording's own requests.
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    Sleep(80000);
    EXPECT_TRUE(rec.WaitForTrace(") Stop Recording", 20000));
    Sleep(500);
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
}

// Launches of the real program, each with its settings file damaged anew
// (the start-up reads the readable part and keeps the original): how long
// from CreateProcess until its hidden main window exists, and until it
// answers (its message loop runs). 40 launches, 300 with MARIVANE_FULL_RUNS.
TEST(Bench, StartUp)
{
    const int launches = EnvironmentValue(L"MARIVANE_FULL_RUNS").empty() ? 40 : 300;
    Recorder rec;
    std::vector<ProgramItem*> list;
    for (int i = 0; i < 6; ++i)
        list.push_back(Program(SecondsFromNow(86400 + 3600 * i), SecondsFromNow(86400 + 3600 * i + 1800), 0x15u,
                               (L"Night & <Day> 夜 " + std::to_wstring(i)).c_str()));
    rec.Write(list, 100);
    const std::wstring ini = rec.workDir.File(L"marivane.ini");
    const std::string seed = ReadBytes(ini);
    unsigned random = 20261210;
    auto next = [&random] { return random = random * 1103515245u + 12345u, random >> 8; };
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times, answers;
    for (int n = 0; n < launches; ++n) {
        std::string text = seed;
        for (unsigned e = 0, edits = 1 + next() % 6; e < edits && !text.empty(); ++e) {
            size_t at = next() % text.size();
            if (e % 3 == 2)
                text.resize(at);
            else
                text[at] = static_cast<char>(next());
        }
        WriteBytes(ini, text);
        ChildProcess child;
        LARGE_INTEGER from, to, answered;
        QueryPerformanceCounter(&from);
        ASSERT_TRUE(rec.Start(child));
        HWND hwnd = child.WaitForMainWindow(15000, 1);
        QueryPerformanceCounter(&to);
        ASSERT_NE(hwnd, nullptr) << "launch " << n;
        DWORD_PTR result;
        SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 15000, &result);
        QueryPerformanceCounter(&answered);
        auto ms = [&](const LARGE_INTEGER& at) {
            return 1000.0 * static_cast<double>(at.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
        };
        times.push_back(ms(to));
        answers.push_back(ms(answered));
        EXPECT_EQ(ExitProgram(hwnd, child), 0u);
        DeleteFileW((ini + L".bad").c_str());
    }
    PrintFigure("start-up to the hidden main window", times, "launches with a damaged settings file",
                " (target: median <= 100 ms)");
    PrintFigure("start-up until it answers a message", answers, "launches");
}

// Two programs back to back on one station, then one whose stream drops
// and is refused for 5 s: the frames lost and twice at the seam, and the
// break's loss (by the station's log, and as told) beside the station's
// outage, from its last frame before the drop to its first after.
TEST(Bench, StationSeamAndBreak)
{
    ASSERT_FALSE(EnvironmentValue(L"MARIVANE_STATION_PORT").empty()) << "run by scripts/bench, beside the test station";
    Recorder rec;
    CDateTime a = SecondsFromNow(10), b = SecondsFromNow(25), c = SecondsFromNow(45);
    rec.Write({StationProgram(a, 15, L"SeamA", L"/mp3"), StationProgram(b, 15, L"SeamB", L"/mp3"),
               StationProgram(c, 30, L"Break", L"/drop?after=12")},
              100);
    CDateTime end = c;
    end.AddTicks(30 * CDateTime::kSecond);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(end)) + "] (ID=", 120000, 1500));
    auto mp3 = SentFrames("/mp3");
    Recorded first = ReadStreamFile(rec.wavDir + L"\\SeamA_" + Stamp(a) + L"_000.mp3", kKindMp3, mp3);
    Recorded second = ReadStreamFile(rec.wavDir + L"\\SeamB_" + Stamp(b) + L"_000.mp3", kKindMp3, mp3);
    ASSERT_FALSE(first.frames.empty() || second.frames.empty());
    long long step = second.frames.front().index - first.frames.back().index - 1;
    printf("seam back to back on one station: %lld frames lost, %lld twice\n", step > 0 ? step : 0, step < 0 ? -step : 0);
    auto dropped = SentFrames("/drop");
    Recorded broken = ReadStreamFile(rec.wavDir + L"\\Break_" + Stamp(c) + L"_000.mp3", kKindMp3, dropped);
    double frame = 1152.0 / 44100, lost = 0, outage = 0;
    for (size_t i = 1; i < broken.frames.size(); ++i)
        if (broken.frames[i].index != broken.frames[i - 1].index + 1)
            lost += (broken.frames[i].index - broken.frames[i - 1].index - 1) * frame;
    std::vector<SentFrame> sent;
    for (const auto& one : dropped)
        sent.push_back(one.second);
    std::sort(sent.begin(), sent.end(), [](const SentFrame& x, const SentFrame& y) { return x.time < y.time; });
    for (size_t i = 1; i < sent.size(); ++i)
        outage = std::max(outage, sent[i].time - sent[i - 1].time);
    std::string log = ReadBytes(rec.workDir.File(L"marivane.log"));
    size_t told = log.find("the stream broke at ");
    printf("break: the station out for %.1f s (a drop, then refused 5 s), the recording lost %.1f s (told: %s)\n", outage,
           lost, told == std::string::npos ? "nothing" : log.substr(told, log.find_first_of("\r\n", told) - told).c_str());
}
