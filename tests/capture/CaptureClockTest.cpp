// The capture clock through a simulated sound card: packets stamped on a
// simulated counter, a wall clock that is stepped against it, a card that
// runs fast or slow, suspends, breaks and stalls in the stream; and the
// loopback of an output, which sends no packet while nothing plays. Each row
// drives the audio controller as the scheduler does and checks every file
// of every program to the frame, its silence included.
#include "capture/FakeCapture.h"
#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <gtest/gtest.h>
#include <thread>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const long long kMs = 10000LL, kSec = 10000000LL, kMin = 60 * kSec;
// 2026-01-01 00:00 UTC: all of it lies before the real clock's now.
const long long kEpoch = 134116992000000000LL;

// The card: frame g is captured at counter t0 + g / rate; the wall clock
// reads counter + offset, the offset changing at the steps.
struct World {
    long long qpc = 1000 * kSec, t0 = 1000 * kSec;
    double rate = 8000;
    std::vector<std::pair<long long, long long>> offsets{{0, kEpoch - 1000 * kSec}};  // from counter, offset
    long long quietUntil = 0;  // a stall: nothing is delivered before then
    // Counter spans whose frames are silence in the files: nothing played
    // (no packet comes from a loopback), or lost and filled.
    std::vector<std::pair<long long, long long>> quiet;
    // Frames captured before counter c.
    unsigned long long Captured(long long c) const { return static_cast<unsigned long long>(std::ceil((c - t0) * rate / kSec)); }
    long long CounterOf(unsigned long long g) const { return t0 + static_cast<long long>(std::ceil(g * kSec / rate)); }
    long long Wall() const { return qpc + offsets.back().second; }
    // Frames from first up to end that are quiet (but for those where the
    // mono ramp is 0 itself).
    unsigned long long QuietFrames(unsigned long long first, unsigned long long end) const
    {
        unsigned long long n = 0;
        for (const auto& q : quiet) {
            unsigned long long a = std::max(first, Captured(q.first)), b = std::min(end, Captured(q.second));
            n += b > a ? b - a - ((b + 65535) / 65536 - (a + 65535) / 65536) : 0;
        }
        return n;
    }
    // The end of the run of played or quiet frames that g starts.
    unsigned long long RunEnd(unsigned long long g, unsigned long long upTo, bool& played) const
    {
        played = true;
        unsigned long long end = upTo;
        for (const auto& q : quiet) {
            unsigned long long a = Captured(q.first), b = Captured(q.second);
            if (g >= a && g < b)
                played = false, end = std::min(end, b);
            else if (a > g)
                end = std::min(end, a);
        }
        return end;
    }
    void Step(long long by) { offsets.push_back({qpc, offsets.back().second + by}); }
    // The first frame whose wall time is at or after w.
    unsigned long long Cut(long long w) const
    {
        for (size_t i = 0; i < offsets.size(); ++i) {
            long long c = std::max(offsets[i].first, w - offsets[i].second);
            if (i + 1 == offsets.size() || c < offsets[i + 1].first)
                return Captured(c);
        }
        return 0;
    }
};
World* g_World = nullptr;

// A device on the simulated card; its packets carry positions and counter
// times. As a loopback it sends nothing while nothing plays.
class PacketCapture : public CBaseCapture {
public:
    explicit PacketCapture(bool loopback) { m_bQuietByDesign = loopback; }
    bool Open(int channels, int rate, int, int) override
    {
        m_Format = PcmFormat(channels, rate, 16);
        m_State = CaptureOpen;
        return AllocateStaging();
    }
    bool Start() override
    {
        BeginTimeline();
        m_Sent = m_Base = g_World->Captured(g_World->qpc);
        m_State = CaptureRunning;
        return true;
    }
    bool Stop() override
    {
        if (m_State == CaptureRunning) {
            Emit();  // what was captured up to the stop is handed over
            FillQuiet(g_World->qpc, true);
        }
        DeliverStaged();
        m_State = m_State == CaptureClosed ? CaptureClosed : CaptureOpen;
        return true;
    }
    void Close() override { m_State = CaptureClosed; }
    bool IsOpen() override { return m_State != CaptureClosed; }
    // A wake-up of the buffer thread: what played since the last one, a
    // packet for each played run.
    void Emit()
    {
        if (m_State != CaptureRunning)
            return;
        WakeUp(g_World->qpc);
        unsigned long long upTo = g_World->Captured(g_World->qpc);
        while (m_Sent < upTo && g_World->qpc >= g_World->quietUntil) {
            bool played;
            unsigned long long end = g_World->RunEnd(m_Sent, upTo, played);
            unsigned frames = static_cast<unsigned>(end - m_Sent);
            std::string pcm = Ramp(static_cast<unsigned>(m_Sent), frames, m_Format.nChannels);
            if (played || !m_bQuietByDesign)
                TakePacket(reinterpret_cast<const BYTE*>(pcm.data()), frames, m_Sent - m_Base,
                           g_World->CounterOf(m_Sent), false, g_World->qpc, frames);
            m_Sent = end;
        }
        FillQuiet(g_World->qpc, false);
    }
    // Frames captured that never arrive; the position counts them or not.
    void Skip(bool positioned)
    {
        unsigned long long upTo = g_World->Captured(g_World->qpc);
        if (!positioned)
            m_Base += upTo - m_Sent;
        else
            g_World->quiet.push_back({g_World->CounterOf(m_Sent), g_World->qpc});
        m_Sent = upTo;
    }
    // The loopback goes on from another output after gap; positions start afresh.
    void Replace(long long gap)
    {
        g_World->quiet.push_back({g_World->qpc, g_World->qpc + gap});
        m_Base = g_World->Captured(g_World->qpc + gap);
        StreamReplaced(L"Headphones");
    }
    bool IsStalled() const { return Stalled(g_World->qpc); }

protected:
    void ReadClocks(long long& qpc, long long& wall) override
    {
        qpc = g_World->qpc;
        wall = g_World->Wall();
    }

private:
    unsigned long long m_Sent = 0, m_Base = 0;
};

class SimCtrl : public TestAudioCtrl {
public:
    SimCtrl() { m_WriterOptions.count = true; }

protected:
    CBaseCapture* NewCaptureDevice(CaptureType type) override
    {
        return type == kWaveInDevice ? nullptr : new PacketCapture(type == kLoopbackDevice);
    }
};

// What one file must hold: program k's file n, from frame first to frame
// end, the quiet frames in it silent (slack more may be silent).
struct Expected {
    int program;
    unsigned number;
    unsigned long long first, end, slack;
};

// One run: programs by the wall clock, driven as the scheduler drives them.
struct SimRun : RecordingSettings {
    World world;
    TempDir dir;
    SimCtrl ctrl;
    TraceCapture trace;
    SimRun() : RecordingSettings(8000, 1, 100) { g_World = &world; }
    ~SimRun() { g_World = nullptr; }
    PacketCapture* Device() { return static_cast<PacketCapture*>(ctrl.m_pCapture); }
    std::wstring Prefix(int k) { return dir.File(L"p" + std::to_wstring(k) + L"_202601010000"); }
    // The card runs until the counter reads until, a packet every 100 ms;
    // a stalled device is found by its watchdog and opened again.
    void RunTo(long long until)
    {
        for (long long drained = world.qpc; world.qpc < until;) {
            world.qpc = std::min(until, world.qpc + kSec / 10);
            if (!Device())
                continue;
            Device()->Emit();
            if (Device()->IsStalled()) {
                lostAt = world.qpc;
                ctrl.CaptureLost();
            }
            if (world.qpc - drained > 100 * kSec) {  // the queue holds that much of 1/30 s buffers
                ASSERT_TRUE(ctrl.WaitForWriter());
                drained = world.qpc;
            }
        }
    }
    void RunToWall(long long wall) { RunTo(world.qpc + wall - world.Wall()); }
    void Start(int k, long long start, long long stop)
    {
        if (std::find(started.begin(), started.end(), k) != started.end())
            return;  // started already, by a row's own event
        started.push_back(k);
        ctrl.m_Task = WM_CAPTURE_START;
        ctrl.CaptureStart(NewRecording(Prefix(k), start, stop));
    }
    // The programs between bounds (from the epoch), opened 5 s ahead; a
    // start goes a second before the stop of the one before, and overlap
    // earlier than its bound; event runs at at. With close, the last stop closes.
    void Chain(std::vector<long long> bounds, long long at, std::function<void()> event, long long overlap,
               bool close = true)
    {
        for (long long& b : bounds)
            b += kEpoch;
        RunToWall(bounds[0] - 5 * kSec);
        ctrl.m_Task = WM_CAPTURE_OPEN;
        ctrl.CaptureOpen();
        bool done = !event;
        auto runTo = [&](long long wall) {
            if (!done && kEpoch + at <= wall) {
                RunToWall(kEpoch + at);
                event();
                done = true;
            }
            RunToWall(std::max(wall, world.Wall()));
        };
        for (size_t k = 0; k + 1 < bounds.size(); ++k) {
            runTo(bounds[k] - (k ? kSec : 0));
            Start(static_cast<int>(k), bounds[k] - (k ? overlap : 0), bounds[k + 1]);
        }
        if (!close) {
            runTo(bounds.back() - kSec);
            return;
        }
        runTo(bounds.back() + kSec / 2);
        ctrl.CaptureClose(bounds.back());
    }
    // Each program in one file, cut where the wall clock reads its bounds.
    std::vector<Expected> Plain(const std::vector<long long>& bounds) const
    {
        std::vector<Expected> e;
        for (size_t k = 0; k + 1 < bounds.size(); ++k)
            e.push_back({static_cast<int>(k), 0, world.Cut(kEpoch + bounds[k]), world.Cut(kEpoch + bounds[k + 1]), 0});
        return e;
    }
    long long lostAt = 0;
    std::vector<int> started;
};

}  // namespace

TEST(CaptureClock, CutsFollowTheWallClockThroughDriftStepsSuspendsBreaksAndStalls)
{
    typedef std::vector<Expected> Files;
    // Each row: a chain of programs back to back by the wall clock (bounds,
    // from the epoch), each start sent a second before the stop of the one
    // before (the device delivers behind real time) and, overlapping, that
    // much before its own bound; event runs at at. Each program is expected
    // in one file cut where the wall clock reads its bounds, as adjust
    // changes it; the row gives one notice or none. On a loopback, nothing
    // plays in the quiet spans (from the epoch).
    struct Row {
        const char* what;
        std::vector<long long> bounds;
        long long at;
        std::function<void(SimRun&)> event;
        std::function<void(SimRun&, Files&)> adjust;
        WPARAM notice;
        double rate = 8000;
        long long overlap = 0;
        bool loopback = false;
        std::vector<std::pair<long long, long long>> quiet = {};
    };
    std::vector<long long> day;
    for (int h = 0; h <= 24; ++h)
        day.push_back(h * 60 * kMin);
    const std::vector<long long> ab{0, 5 * kMin, 10 * kMin}, abc{0, 30 * kMin, 45 * kMin, 60 * kMin};
    // A loopback row with nothing but its quiet spans.
    auto quietRow = [](const char* what, std::vector<long long> bounds,
                       std::vector<std::pair<long long, long long>> quiet, WPARAM notice = 0) {
        return Row{what, std::move(bounds), 0, nullptr, nullptr, notice, 8000, 0, true, std::move(quiet)};
    };
    auto step = [](long long by) {
        return [by](SimRun& r) {
            r.world.Step(by);
            r.Device()->ClockChanged();
        };
    };
    // A 20 min suspend in A; B's window is open at the resume, C follows.
    long long resume = 0;
    auto suspend = [&](bool survives) {
        return [&, survives](SimRun& r) {
            r.world.qpc += 20 * kMin;
            resume = r.world.qpc;
            r.Device()->Skip(!survives);  // nothing was captured while asleep
            if (survives)
                r.Device()->ClockChanged();
            else
                r.ctrl.CaptureLost();
            r.Start(1, kEpoch + 30 * kMin, kEpoch + 45 * kMin);  // the scheduler's pass after the resume
        };
    };
    auto resumed = [&](SimRun& r, Files& e) {
        e[0].end = r.world.Cut(kEpoch + 20 * kMin);
        e[1].first = r.world.Captured(resume);
    };
    // Lost or stalled at a minute into A: A goes on in its next file from first.
    auto nextFile = [](SimRun& r, Files& e, unsigned long long first) {
        e.insert(e.begin() + 1, {0, 1, first, e[0].end, 0});
        e[0].end = r.world.Cut(kEpoch + kMin);
    };
    Row rows[] = {
        {"a card 100 ppm fast, 24 one-hour programs", day, 0, nullptr, nullptr, 0, 8000 * 1.0001},
        {"a card 100 ppm slow, 24 one-hour programs", day, 0, nullptr, nullptr, 0, 8000 * 0.9999},
        {"the wall clock stepped 60 s ahead during A", ab, 2 * kMin, step(60 * kSec), nullptr, 0},
        {"the wall clock stepped 60 s back during A", ab, 2 * kMin, step(-60 * kSec), nullptr, 0},
        {"the wall clock stepped 60 s ahead in the lead-in", ab, -3 * kSec, step(60 * kSec),
         [](SimRun& r, Files& e) { e[0].first = r.world.Captured(r.world.offsets[1].first); }, 0},  // A starts at the step
        {"the wall clock stepped 60 s back in the lead-in", ab, -3 * kSec, step(-60 * kSec), nullptr, 0},
        {"a new time zone moves the stops half an hour", {0, 35 * kMin, 40 * kMin}, 2 * kMin,
         [](SimRun& r) { r.ctrl.CaptureStopAt(kEpoch + 35 * kMin); }, nullptr, 0},
        {"500 ms lost in A: filled with silence", ab, kMin, [](SimRun& r) {
             r.world.qpc += kSec / 2;
             r.Device()->Skip(true);
         }, [](SimRun&, Files&) {
             EXPECT_TRUE(TraceCapture::Contains(L"CBaseCapture: 4000 frames were lost, filled with silence (4000 in all)\n"));
         }, 0},
        // The buffer thread itself was held up: no watchdog ran meanwhile.
        {"5 s lost in A: it goes on in its next file", ab, kMin, [](SimRun& r) {
             r.world.qpc += 5 * kSec;
             r.Device()->Skip(true);
         }, [&](SimRun& r, Files& e) { nextFile(r, e, r.world.Cut(kEpoch + kMin + 5 * kSec)); }, kNoticeStreamBroke},
        {"a 20 min suspend in A, the stream survives", abc, 20 * kMin, suspend(true), resumed, 0},
        {"a 20 min suspend in A, the device lost", abc, 20 * kMin, suspend(false), resumed, kNoticeDeviceLost},
        {"the device lost in the lead-in, back before the start", ab, -3 * kSec,
         [](SimRun& r) { r.ctrl.CaptureLost(); }, nullptr, 0},
        {"a stall of 4 s in A: the watchdog opens the device again", ab, kMin,
         [](SimRun& r) { r.world.quietUntil = r.world.qpc + 4 * kSec; },
         [&](SimRun& r, Files& e) { nextFile(r, e, r.world.Captured(r.lostAt)); }, kNoticeDeviceLost},
        {"an overlapping B takes over at A's stop", ab, 0, nullptr, nullptr, 0, 8000, 2 * kMin},
        // Switch user: told as a break; no device is tried until the session is back.
        {"another user at the console during A", ab, kMin, [](SimRun& r) {
             r.ctrl.m_bSessionAway = 1;
             std::thread back([&] { Sleep(300); r.ctrl.m_bSessionAway = 0; });
             r.lostAt = r.world.qpc;
             r.ctrl.CaptureLost();
             back.join();
         }, [&](SimRun& r, Files& e) { nextFile(r, e, r.world.Captured(r.lostAt)); }, kNoticeSessionAway},
        quietRow("loopback: no packets for 2 h inside a program", {0, 130 * kMin}, {{5 * kMin, 125 * kMin}}),
        quietRow("loopback: packets resuming mid-buffer", ab, {{kMin, kMin + 3050 * kMs}}),
        // Silence was placed past the resumed packet's first frame: the rest
        // of it is still staged and taken back, what was handed over is not.
        {"loopback: packets resuming 650 ms late", ab, kMin + 3050 * kMs,
         [](SimRun& r) { r.world.quietUntil = r.world.qpc + 650 * kMs; },
         [](SimRun&, Files& e) { e[0].slack = 8000 * 650 / 1000; }, 0, 8000, 0, true, {{kMin, kMin + 3050 * kMs}}},
        // What played while the PC slept is unknown: a break, as for a microphone.
        {"loopback: a 20 min suspend in A", abc, 20 * kMin, suspend(true), resumed, 0, 8000, 0, true},
        quietRow("loopback: a pause of 0.5 s", ab, {{2 * kMin, 2 * kMin + 500 * kMs}}),
        {"loopback: the default output changes", ab, 2 * kMin, [](SimRun& r) { r.Device()->Replace(150 * kMs); },
         nullptr, kNoticeOutputFollowed, 8000, 0, true},
        {"loopback: an unplugged endpoint", ab, kMin, [](SimRun& r) { r.ctrl.CaptureLost(); },
         [&](SimRun& r, Files& e) { nextFile(r, e, r.world.Cut(kEpoch + kMin)); }, kNoticeDeviceLost, 8000, 0,
         true, {{50 * kSec, 70 * kSec}}},
        quietRow("loopback: a stop inside a quiet stretch", {0, 5 * kMin}, {{4 * kMin, 6 * kMin}}),
        quietRow("loopback: back to back across a quiet stretch", ab, {{4 * kMin, 6 * kMin}}),
        quietRow("loopback: nothing at all plays in B", ab, {{4 * kMin, 11 * kMin}}, kNoticeNothingPlayed),
    };
    auto check = [](SimRun& r, const Files& expected, WPARAM notice) {
        ASSERT_TRUE(r.ctrl.WaitForWriter());
        const std::vector<TestWriter::FileRecord>& files = r.ctrl.Writer()->m_Files;
        ASSERT_EQ(files.size(), expected.size());
        for (size_t i = 0; i < files.size(); ++i) {
            const Expected& x = expected[i];
            const TestWriter::FileRecord& f = files[i];
            EXPECT_EQ(f.name, WavName(r.Prefix(x.program), x.number));
            // The ramp gives the first frame modulo 65536, near where it should be.
            long long first = static_cast<long long>(x.first) + static_cast<short>(f.first - (x.first & 0xFFFF));
            EXPECT_NEAR(f.sounded ? first : x.first, static_cast<double>(x.first), 1) << "file " << i;
            EXPECT_NEAR(static_cast<double>(f.frames), static_cast<double>(x.end - x.first), 1) << "file " << i;
            // Silent where nothing played, every frame that did in its place.
            unsigned long long quiet = f.sounded ? r.world.QuietFrames(x.first, x.end) : x.end - x.first;
            EXPECT_GE(f.silent + 2, quiet) << "file " << i;
            EXPECT_LE(f.silent, quiet + x.slack + 2) << "file " << i;
            EXPECT_EQ(f.misplaced, 0u) << "file " << i;
        }
        for (WPARAM n : {kNoticeDeviceLost, kNoticeStreamBroke, kNoticeQueueFull, kNoticeFileFailed,
                         kNoticeOutputFollowed, kNoticeNothingPlayed, kNoticeSessionAway})
            EXPECT_EQ(Told(n), n == notice ? 1 : 0) << "notice " << n;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SimRun r;
        r.world.rate = row.rate;
        if (row.loopback)
            r.config.m_CapDeviceId.Assign(L"loopback:default");
        for (const auto& q : row.quiet)  // on the counter, where the wall clock reads them
            r.world.quiet.push_back({q.first + kEpoch - r.world.offsets[0].second, q.second + kEpoch - r.world.offsets[0].second});
        r.Chain(row.bounds, row.at, row.event ? [&] { row.event(r); } : std::function<void()>(), row.overlap);
        Files expected = r.Plain(row.bounds);
        if (row.adjust)
            row.adjust(r, expected);
        check(r, expected, row.notice);
    }
    // B's start comes after A reached its stop, and meanwhile the card's
    // packet times jumped by 57 ms (a time that far off is taken as it is):
    // B still begins with the frame after A's last, however the new
    // placement puts its start.
    {
        SCOPED_TRACE("B's start after A's cut, the packet times jumped between");
        SimRun r;
        r.Chain({0, kMin}, 0, nullptr, 0, false);
        Files expected = r.Plain({0, kMin});
        r.RunToWall(kEpoch + kMin + kSec / 2);
        r.world.t0 -= 57 * kSec / 1000;
        r.RunToWall(kEpoch + kMin + kSec);
        r.Start(1, kEpoch + kMin, kEpoch + 2 * kMin);
        r.RunToWall(kEpoch + 2 * kMin + kSec / 2);
        r.ctrl.CaptureClose(kEpoch + 2 * kMin);
        expected.push_back({1, 0, expected[0].end, r.world.Cut(kEpoch + 2 * kMin), 0});
        check(r, expected, 0);
    }
    // A new device chosen during A (0-1 min), B (1-2 min) on it. B's start
    // comes at A's stop second, while the device still holds the last of A
    // (before the cut), or once A is cut: either way A ends at its stop and
    // B records from the device opened for it.
    for (bool beforeCut : {true, false}) {
        SCOPED_TRACE(beforeCut ? "a new device, B's start before A's cut" : "a new device, B's start after A's cut");
        SimRun r;
        r.Chain({0, kMin}, 30 * kSec, [&] { r.config.m_CapDeviceName.Assign(L"Line In (another card)"); }, 0, false);
        r.RunToWall(kEpoch + kMin + (beforeCut ? -kSec / 20 : kSec / 10));
        r.world.qpc += beforeCut ? kSec / 14 : 0;  // captured, not delivered yet
        long long reopened = r.world.qpc;
        r.Start(1, kEpoch + kMin, kEpoch + 2 * kMin);
        r.RunToWall(kEpoch + 2 * kMin + kSec / 2);
        r.ctrl.CaptureClose(kEpoch + 2 * kMin);
        Files expected = r.Plain({0, kMin, 2 * kMin});
        expected[1].first = r.world.Captured(reopened);
        check(r, expected, 0);
        EXPECT_EQ(TraceCapture::Count(L"[CaptureStart] the recording settings changed: the device is opened again\n"), 1);
    }
}
