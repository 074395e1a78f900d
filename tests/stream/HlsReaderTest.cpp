// The station's reader on the test HLS station (tests/stream/hls_station.py,
// started by run-stream-tests.sh): in each of the station's forms and
// faults, every frame handed on is one the station served, once, in order,
// placed on the broadcaster's clock to the millisecond where the playlist
// gives it; a segment that expired is one break, told with its length.
#include "stream/StationProbe.h"
#include "stream/StationReader.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

namespace {

struct Served {
    long long sequence;
    long long onAir;  // UTC ticks
};

long long IsoTicks(const std::string& iso)
{
    return CHlsPlaylist::ParseDateTime(iso);
}

// The station's log of frames served, by hash (its media loops every 24 s:
// the same bytes come again, on air at another time).
std::multimap<std::string, Served> ServedFrames(const std::string& variant)
{
    std::multimap<std::string, Served> served;
    std::istringstream log(ReadBytes(EnvironmentValue(L"MARIVANE_HLS_LOG")));
    for (std::string line; std::getline(log, line);) {
        std::istringstream in(line);
        std::string conn, kind, target, pdt, hash;
        long long sequence, index, bytes;
        if (in >> conn >> kind >> target >> sequence >> index >> pdt >> bytes >> hash && kind == "frame" &&
            target.rfind("/" + variant + "/", 0) == 0)
            served.emplace(hash, Served{sequence, IsoTicks(pdt)});
    }
    return served;
}

struct Collector : CStationListener {
    std::mutex lock;
    std::vector<std::pair<std::string, long long>> frames;  // hash, live
    std::vector<long long> lost;
    std::vector<StationFailure> failures;
    StreamKind kind = kKindUnknown;
    void OnStationConnected(const CStationReader&, const StationInfo& info) override { kind = info.kind; }
    void OnStationFailed(const CStationReader&, StationFailure failure, unsigned, bool) override
    {
        std::lock_guard<std::mutex> hold(lock);
        failures.push_back(failure);
    }
    void OnStationFrame(const CStationReader&, const StreamFrame& f, long long live, long long, const wchar_t*) override
    {
        std::string hash = Fnv(f.data, f.bytes);
        std::lock_guard<std::mutex> hold(lock);
        frames.push_back({hash, live});
    }
    void OnStationBack(const CStationReader&, long long, long long ticks) override
    {
        std::lock_guard<std::mutex> hold(lock);
        lost.push_back(ticks);
    }
};

}  // namespace

TEST(HlsStation, FramesOnTheBroadcastersClockOnceAndInOrder)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_HLS_PORT");
    struct Row {
        const wchar_t* path;
        const char* variant;
        bool onAir;        // the playlist gives the broadcaster's clock
        size_t breaks;     // segments that expired (at least)
        StationFailure failure;  // kFailNone: frames come
        DWORD ms;          // how long it is read: a fault comes once in ten segments
        unsigned long long chosen = 0;  // the variant a program chose
    } rows[] = {
        {L"/master.m3u8?form=ts", "live", true, 0, kFailNone, 8000},  // the best variant of three
        {L"/master.m3u8?form=ts", "low", true, 0, kFailNone, 8000, 60000},
        {L"/live/aac.m3u8", "live", true, 0, kFailNone, 8000},
        {L"/live/mp4.m3u8", "live", true, 0, kFailNone, 8000},
        {L"/retry/ts.m3u8", "retry", true, 0, kFailNone, 10000},  // 404 twice, then served
        {L"/expire/ts.m3u8", "expire", true, 1, kFailNone, 22000},
        {L"/nopdt/ts.m3u8", "nopdt", false, 0, kFailNone, 8000},
        {L"/disc/ts.m3u8", "disc", true, 0, kFailNone, 8000},  // timestamps restart: each segment on its own time
        {L"/token/master.m3u8?form=aac", "token", true, 0, kFailNone, 18000},  // 403 every 8 s: the master again
        {L"/key/ts.m3u8", "key", true, 0, kFailHlsEncrypted, 3000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Narrow(row.path));
        Collector got;
        {
            CStationReader reader((L"http://127.0.0.1:" + port + row.path).c_str(), &got, row.chosen);
            ASSERT_TRUE(reader.Start());
            Sleep(row.ms);
            reader.Stop();
        }
        if (row.failure != kFailNone) {
            EXPECT_TRUE(got.frames.empty());
            ASSERT_FALSE(got.failures.empty());
            EXPECT_EQ(got.failures.front(), row.failure);
            continue;
        }
        EXPECT_EQ(got.kind, kKindAac);
        std::multimap<std::string, Served> served = ServedFrames(row.variant);
        ASSERT_GT(got.frames.size(), 560u);  // the window, 12 s, and what came after
        size_t breaks = 0, unknown = 0;
        const Served* last = nullptr;
        for (const auto& frame : got.frames) {
            // Of the same bytes served at other times, the one placed nearest (without
            // the broadcaster's clock: the first after the frame before).
            auto range = served.equal_range(frame.first);
            auto found = served.end();
            for (auto it = range.first; it != range.second; ++it) {
                long long off = row.onAir ? llabs(it->second.onAir - frame.second)
                                          : (last && it->second.sequence < last->sequence ? LLONG_MAX : it->second.sequence);
                long long best = found == served.end() ? LLONG_MAX
                                 : row.onAir           ? llabs(found->second.onAir - frame.second)
                                                       : found->second.sequence;
                if (off < best)
                    found = it;
            }
            if (found == served.end()) {
                ++unknown;
                continue;
            }
            if (row.onAir) {
                EXPECT_NEAR(static_cast<double>(frame.second - found->second.onAir), 0.0, 10000.0) << "within 1 ms";
            }
            if (last) {
                EXPECT_GT(found->second.onAir, last->onAir) << "in order, none twice";
                if (found->second.sequence > last->sequence + 1) {
                    ++breaks;  // the one segment that expired, and only it
                    EXPECT_EQ(found->second.sequence, last->sequence + 2);
                    EXPECT_EQ((last->sequence + 1) % 10, 5);
                }
            }
            last = &found->second;
        }
        EXPECT_EQ(unknown, 0u);
        // One segment in ten expires: how many of them the read passes depends on where it began.
        EXPECT_TRUE(row.breaks ? breaks >= row.breaks && breaks <= row.breaks + 1 : breaks == 0) << breaks;
        ASSERT_EQ(got.lost.size(), breaks);
        for (long long ticks : got.lost)
            EXPECT_NEAR(ticks / 1e7, 2.0, 0.05) << "one segment's length";
    }
}

// Try on an HLS station: its variants, the one recorded, what it holds; an encrypted one told.
TEST(HlsStation, TrySaysWhatTheStationOffers)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_HLS_PORT");
    struct Row {
        const wchar_t* path;
        bool ok;
        const wchar_t* english;
        const wchar_t* japanese;
    } rows[] = {
        {L"/master.m3u8?form=mp4", true,
         L"HLS · AAC · 130 kbit/s · 48 kHz stereo · variants: 60, 2500 (not recordable), 130 kbit/s",
         L"HLS · AAC · 130 kbit/s · 48 kHz ステレオ · 種類: 60、2500 (録音不可)、130 kbit/s"},
        {L"/nopdt/aac.m3u8", true, L"HLS · AAC · 48 kHz stereo", L"HLS · AAC · 48 kHz ステレオ"},
        {L"/key/ts.m3u8", false, L"This HLS station is encrypted and cannot be recorded.",
         L"この HLS 放送は暗号化されていて、録音できません。"},
    };
    for (const Row& row : rows)
        for (bool japanese : {false, true}) {
            wchar_t text[200];
            EXPECT_EQ(CStationProbe::Describe((L"http://127.0.0.1:" + port + row.path).c_str(), japanese, text, 200),
                      row.ok);
            EXPECT_EQ(std::wstring(text), japanese ? row.japanese : row.english) << Narrow(row.path);
        }
}
