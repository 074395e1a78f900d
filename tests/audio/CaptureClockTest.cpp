// The capture clock through a simulated sound card: packets stamped on a
// simulated counter, a wall clock that is stepped against it, a card that
// runs fast or slow, suspends, breaks and stalls in the stream. Each row
// drives the audio controller as the scheduler does and checks every file
// of every program to the frame.
#include "audio/FakeCapture.h"
#include "support/TestSupport.h"
#include "support/WavChecks.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const long long kSec = 10000000LL, kMin = 60 * kSec;
// 2026-01-01 00:00 UTC: all of it lies before the real clock's now.
const long long kEpoch = 134116992000000000LL;

// The card: frame g is captured at counter t0 + g / rate; the wall clock
// reads counter + offset, the offset changing at the steps.
struct World {
    long long qpc = 1000 * kSec, t0 = 1000 * kSec, offset = kEpoch - 1000 * kSec;
    double rate = 8000;
    std::vector<std::pair<long long, long long>> offsets{{0, kEpoch - 1000 * kSec}};  // from counter, offset
    long long quietUntil = 0;  // a stall: nothing is delivered before then
    // Frames captured before counter c.
    unsigned long long Captured(long long c) const { return static_cast<unsigned long long>(std::ceil((c - t0) * rate / kSec)); }
    long long CounterOf(unsigned long long g) const { return t0 + static_cast<long long>(std::ceil(g * kSec / rate)); }
    long long Wall() const { return qpc + offset; }
    void Step(long long by) { offset += by; offsets.push_back({qpc, offset}); }
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

// A device on the simulated card; its packets carry positions and counter times.
class PacketCapture : public CBaseCapture {
public:
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
        Emit();  // what was captured up to the stop is handed over
        DeliverStaged();
        m_State = m_State == CaptureClosed ? CaptureClosed : CaptureOpen;
        return true;
    }
    void Close() override
    {
        Stop();
        m_State = CaptureClosed;
    }
    bool IsOpen() override { return m_State != CaptureClosed; }
    // Everything captured since the last packet, as one packet.
    void Emit(bool discontinuity = false)
    {
        unsigned long long upTo = g_World->Captured(g_World->qpc);
        if (upTo <= m_Sent || m_State != CaptureRunning || g_World->qpc < g_World->quietUntil)
            return;
        unsigned frames = static_cast<unsigned>(upTo - m_Sent);
        std::string pcm = Ramp(static_cast<unsigned>(m_Sent), frames, m_Format.nChannels);
        TakePacket(reinterpret_cast<const BYTE*>(pcm.data()), frames, m_Sent - m_Base, g_World->CounterOf(m_Sent),
                   discontinuity, g_World->qpc, frames);
        m_Sent = upTo;
    }
    // Frames captured that never arrive; the position counts them or not.
    void Skip(bool positioned)
    {
        unsigned long long upTo = g_World->Captured(g_World->qpc);
        if (!positioned)
            m_Base += upTo - m_Sent;
        m_Sent = upTo;
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

// Every file as the writer makes it: the frame it starts with and its length.
struct FileRecord {
    std::wstring name;
    unsigned long long first = 0, frames = 0;
};
class CountingWriter : public CWaveWriter {
public:
    std::vector<FileRecord> m_Files;  // the writer thread's; read after a drain

protected:
    void FileCreated(const wchar_t* name) override { m_Files.push_back({name}); }
    unsigned WriteToFile(CWaveFile*, const void* data, unsigned length) override
    {
        FileRecord& f = m_Files.back();
        const unsigned char* p = static_cast<const unsigned char*>(data);
        if (!f.frames)
            f.first = p[0] | p[1] << 8;  // the ramp's frame, modulo 65536 (mono)
        f.frames += length / 2;
        return length;
    }
};

class SimCtrl : public TestAudioCtrl {
public:
    CountingWriter* m_pCounting = nullptr;

protected:
    CBaseCapture* NewCaptureDevice(CaptureType type) override
    {
        return type == kWasapiDevice ? new PacketCapture() : nullptr;
    }
    CWaveWriter* NewWaveWriter() override { return m_pCounting = new CountingWriter(); }
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
        ctrl.CaptureStart(NewPrefixBlock(Prefix(k)), start, stop);
    }
    long long lostAt = 0;
    std::vector<int> started;
};

// What one file must hold: program k's file n, from frame first to frame end.
struct Expected {
    int program;
    unsigned number;
    unsigned long long first, end;
};

}  // namespace

TEST(CaptureClock, CutsFollowTheWallClockThroughDriftStepsSuspendsBreaksAndStalls)
{
    struct Row {
        const char* what;
        std::function<void(SimRun&, std::vector<Expected>&)> run;
        int notice;  // the one notice the row gives, 0 for none
    };
    // A chain of programs back to back by the wall clock (bounds: from the
    // epoch), each start sent a second before the stop of the one before
    // (the device delivers behind real time) and, overlapping, that much
    // before its own bound; event runs at at.
    auto chain = [](SimRun& r, std::vector<long long> bounds, long long at, std::function<void()> event,
                    long long overlap = 0) {
        for (long long& b : bounds)
            b = kEpoch + b;
        r.RunToWall(bounds[0] - 5 * kSec);
        r.ctrl.m_Task = WM_CAPTURE_OPEN;
        r.ctrl.CaptureOpen();
        bool done = !event;
        auto runTo = [&](long long wall) {
            if (!done && kEpoch + at <= wall) {
                r.RunToWall(kEpoch + at);
                event();
                done = true;
            }
            r.RunToWall(std::max(wall, r.world.Wall()));
        };
        for (size_t k = 0; k + 1 < bounds.size(); ++k) {
            runTo(bounds[k] - (k ? kSec : 0));
            r.Start(static_cast<int>(k), bounds[k] - (k ? overlap : 0), bounds[k + 1]);
        }
        runTo(bounds.back() + kSec / 2);
        r.ctrl.CaptureClose(bounds.back());
    };
    // Each program in one file, cut where the wall clock reads its bounds.
    auto plain = [](SimRun& r, std::vector<long long> bounds, std::vector<Expected>& e) {
        for (size_t k = 0; k + 1 < bounds.size(); ++k)
            e.push_back({static_cast<int>(k), 0, r.world.Cut(kEpoch + bounds[k]), r.world.Cut(kEpoch + bounds[k + 1])});
    };
    auto hours = [](int n) {
        std::vector<long long> b;
        for (int h = 0; h <= n; ++h)
            b.push_back(h * 60 * kMin);
        return b;
    };
    const std::vector<long long> ab{0, 5 * kMin, 10 * kMin}, abc{0, 30 * kMin, 45 * kMin, 60 * kMin};
    // A 0-1 min, B 1-2 min on another device. B's start comes at A's stop
    // second, while the device still holds the last of A (before the cut),
    // or once A is cut: either way A ends at its stop and B records from
    // the device opened for it.
    auto settingsRace = [&](SimRun& r, std::vector<Expected>& e, bool beforeCut) {
        r.RunToWall(kEpoch - 5 * kSec);
        r.ctrl.m_Task = WM_CAPTURE_OPEN;
        r.ctrl.CaptureOpen();
        r.RunToWall(kEpoch);
        r.Start(0, kEpoch, kEpoch + kMin);
        r.RunToWall(kEpoch + 30 * kSec);
        r.config.m_CapDeviceName.Assign(L"Line In (another card)");
        r.RunToWall(kEpoch + kMin + (beforeCut ? -kSec / 20 : kSec / 10));
        r.world.qpc += beforeCut ? kSec / 14 : 0;  // captured, not delivered yet
        long long reopened = r.world.qpc;
        r.Start(1, kEpoch + kMin, kEpoch + 2 * kMin);
        r.RunToWall(kEpoch + 2 * kMin + kSec / 2);
        r.ctrl.CaptureClose(kEpoch + 2 * kMin);
        plain(r, {0, kMin, 2 * kMin}, e);
        e[1].first = r.world.Captured(reopened);
        EXPECT_EQ(TraceCapture::Count(L"[CaptureStart] the recording settings changed: the device is opened again\n"), 1);
    };
    Row rows[] = {
        {"a card 100 ppm fast, 24 one-hour programs", [&](SimRun& r, std::vector<Expected>& e) {
             r.world.rate = 8000 * 1.0001;
             chain(r, hours(24), 0, nullptr);
             plain(r, hours(24), e);
         }, 0},
        {"a card 100 ppm slow, 24 one-hour programs", [&](SimRun& r, std::vector<Expected>& e) {
             r.world.rate = 8000 * 0.9999;
             chain(r, hours(24), 0, nullptr);
             plain(r, hours(24), e);
         }, 0},
        {"the wall clock stepped 60 s ahead during A", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, 2 * kMin, [&] { r.world.Step(60 * kSec); r.Device()->ClockChanged(); });
             plain(r, ab, e);
         }, 0},
        {"the wall clock stepped 60 s back during A", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, 2 * kMin, [&] { r.world.Step(-60 * kSec); r.Device()->ClockChanged(); });
             plain(r, ab, e);
         }, 0},
        {"the wall clock stepped 60 s ahead in the lead-in", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, -3 * kSec, [&] { r.world.Step(60 * kSec); r.Device()->ClockChanged(); });
             plain(r, ab, e);
             e[0].first = r.world.Captured(r.world.offsets[1].first);  // A starts at the step
         }, 0},
        {"the wall clock stepped 60 s back in the lead-in", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, -3 * kSec, [&] { r.world.Step(-60 * kSec); r.Device()->ClockChanged(); });
             plain(r, ab, e);
         }, 0},
        {"a new time zone moves the stops half an hour", [&](SimRun& r, std::vector<Expected>& e) {
             std::vector<long long> moved{0, 35 * kMin, 40 * kMin};
             chain(r, moved, 2 * kMin, [&] { r.ctrl.CaptureStopAt(kEpoch + 35 * kMin); });
             plain(r, moved, e);
         }, 0},
        {"500 ms lost in A: filled with silence", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, kMin, [&] { r.world.qpc += kSec / 2; r.Device()->Skip(true); });
             plain(r, ab, e);
             EXPECT_TRUE(TraceCapture::Contains(L"CBaseCapture: 4000 frames were lost, filled with silence\n"));
         }, 0},
        {"5 s lost in A: it goes on in its next file", [&](SimRun& r, std::vector<Expected>& e) {
             unsigned long long lostFrom = r.world.Cut(kEpoch + kMin);
             // The buffer thread itself was held up: no watchdog ran meanwhile.
             chain(r, ab, kMin, [&] { r.world.qpc += 5 * kSec; r.Device()->Skip(true); });
             plain(r, ab, e);
             e.insert(e.begin() + 1, {0, 1, r.world.Cut(kEpoch + kMin + 5 * kSec), e[0].end});
             e[0].end = lostFrom;
         }, kNoticeStreamBroke},
        {"a 20 min suspend in A, the stream survives", [&](SimRun& r, std::vector<Expected>& e) {
             long long resume = 0;
             chain(r, abc, 20 * kMin, [&] {
                 r.world.qpc += 20 * kMin;
                 resume = r.world.qpc;
                 r.Device()->Skip(false);
                 r.Device()->ClockChanged();
                 r.Start(1, kEpoch + 30 * kMin, kEpoch + 45 * kMin);  // the scheduler's pass after the resume
             });
             plain(r, abc, e);
             e[0].end = r.world.Cut(kEpoch + 20 * kMin);
             e[1].first = r.world.Captured(resume);
         }, 0},
        {"a 20 min suspend in A, the device lost", [&](SimRun& r, std::vector<Expected>& e) {
             long long resume = 0;
             chain(r, abc, 20 * kMin, [&] {
                 r.world.qpc += 20 * kMin;
                 resume = r.world.qpc;
                 r.Device()->Skip(false);  // nothing was captured while asleep
                 r.ctrl.CaptureLost();
                 r.Start(1, kEpoch + 30 * kMin, kEpoch + 45 * kMin);
             });
             plain(r, abc, e);
             e[0].end = r.world.Cut(kEpoch + 20 * kMin);
             e[1].first = r.world.Captured(resume);
         }, kNoticeDeviceLost},
        {"the device lost in the lead-in, back before the start", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, -3 * kSec, [&] { r.ctrl.CaptureLost(); });
             plain(r, ab, e);
         }, 0},
        {"a stall of 4 s in A: the watchdog opens the device again", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, kMin, [&] { r.world.quietUntil = r.world.qpc + 4 * kSec; });
             plain(r, ab, e);
             e.insert(e.begin() + 1, {0, 1, r.world.Captured(r.lostAt), e[0].end});
             e[0].end = r.world.Cut(kEpoch + kMin);
         }, kNoticeDeviceLost},
        {"a new device chosen during A, B's start before A's cut", [&](SimRun& r, std::vector<Expected>& e) {
             settingsRace(r, e, true);
         }, 0},
        {"a new device chosen during A, B's start after A's cut", [&](SimRun& r, std::vector<Expected>& e) {
             settingsRace(r, e, false);
         }, 0},
        {"an overlapping B takes over at A's stop", [&](SimRun& r, std::vector<Expected>& e) {
             chain(r, ab, 0, nullptr, 2 * kMin);
             plain(r, ab, e);
         }, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SimRun r;
        std::vector<Expected> expected;
        row.run(r, expected);
        ASSERT_TRUE(r.ctrl.WaitForWriter());
        const std::vector<FileRecord>& files = r.ctrl.m_pCounting->m_Files;
        ASSERT_EQ(files.size(), expected.size());
        for (size_t i = 0; i < files.size(); ++i) {
            const Expected& x = expected[i];
            EXPECT_EQ(files[i].name, WavName(r.Prefix(x.program), x.number));
            // The ramp gives the first frame modulo 65536, near where it should be.
            long long first = static_cast<long long>(x.first) + static_cast<short>(files[i].first - (x.first & 0xFFFF));
            EXPECT_NEAR(first, static_cast<double>(x.first), 1) << "file " << i;
            EXPECT_NEAR(static_cast<double>(files[i].frames), static_cast<double>(x.end - x.first), 1) << "file " << i;
        }
        for (WPARAM n : {kNoticeDeviceLost, kNoticeStreamBroke, kNoticeQueueFull, kNoticeFileFailed})
            EXPECT_EQ(TraceCapture::Count(L"[CAudioCtrl] recording notice " + std::to_wstring(n) + L"\n"),
                      n == static_cast<WPARAM>(row.notice) ? 1 : 0) << "notice " << n;
    }
}
