// Figures a user would ask for, measured on the real program under Wine.
// Not part of the test run: scripts/bench runs these, with the load and the
// peer recorder around them. Each prints its figure last.
#include "app/Recorder.h"
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
}

// Ten programs of 5 s back to back, as a listener records consecutive
// broadcasts: the gap in the ramp at each seam (negative: frames repeated)
// and each program's length against its schedule.
TEST(Bench, Seams)
{
    const int kPrograms = 10, kLength = 5;
    Recorder rec;
    std::vector<ProgramItem*> programs;
    std::vector<std::wstring> prefixes;
    CDateTime start = SecondsFromNow(8);
    for (int i = 0; i < kPrograms; ++i) {
        CDateTime stop = start;
        stop.AddTicks(kLength * CDateTime::kSecond);
        std::wstring title = L"Seam" + std::to_wstring(i);
        programs.push_back(Program(start, stop, 0, title.c_str()));
        prefixes.push_back(rec.wavDir + L"\\" + title + L"_" + Stamp(start));
        start = stop;
    }
    rec.Write(programs, 100);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(start)) + "] (ID=", 120000, 1500));
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

// Ten programs of 2 s, 8 s apart: scheduled start to the start trace line.
TEST(Bench, StartLateness)
{
    const int programs = 10;
    Recorder rec;
    std::vector<ProgramItem*> list;
    std::vector<CDateTime> starts;
    for (int i = 0; i < programs; ++i) {
        CDateTime start = SecondsFromNow(7 + 8 * i), stop = SecondsFromNow(9 + 8 * i);
        starts.push_back(start);
        list.push_back(Program(start, stop, 0, (L"Late " + std::to_wstring(i)).c_str()));
    }
    rec.Write(list, 100);
    // One reading of the tracer's clock against local time serves all ten.
    long long firstStart = TraceClockAt(starts[0]);
    ASSERT_NO_FATAL_FAILURE(rec.RunUntil("[" + Narrow(Text(starts.back())) + "]", 120000, 4000));

    std::vector<long long> traced = rec.TraceTimes("[CaptureStart] start capture");
    ASSERT_EQ(traced.size(), static_cast<size_t>(programs));
    std::vector<double> late;
    for (size_t i = 0; i < traced.size(); ++i)
        late.push_back((traced[i] - firstStart - starts[i].Diff(starts[0]) / 10.0) / 1000);
    PrintFigure("start lateness", late, "programs", " (target median <= 100 ms)");
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
