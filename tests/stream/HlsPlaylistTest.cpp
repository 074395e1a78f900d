// HLS playlists as stations serve them: the variant chosen from a master,
// a media playlist's segments with their numbers, addresses made whole, and
// the broadcaster's clock carried from segment to segment.
#include "stream/HlsPlaylist.h"

#include <gtest/gtest.h>
#include <utility>

TEST(HlsPlaylist, VariantsSegmentsAndTheBroadcastersClock)
{
    const std::wstring base = L"http://127.0.0.1:8000/live/master.m3u8?token=1";
    CHlsPlaylist master;
    ASSERT_TRUE(master.Parse("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\nlow.m3u8\n"
                             "#EXT-X-STREAM-INF:BANDWIDTH=900000,CODECS=\"avc1.4d401f,mp4a.40.2\"\nvideo.m3u8\n"
                             "#EXT-X-STREAM-INF:BANDWIDTH=128000,CODECS=\"mp4a.40.2\"\r\nhttp://127.0.0.1:81/high.m3u8\r\n",
                             base));
    EXPECT_TRUE(master.master);
    ASSERT_EQ(master.variants.size(), 3u);
    EXPECT_EQ(master.variants[0].address, L"http://127.0.0.1:8000/live/low.m3u8");
    EXPECT_FALSE(master.variants[1].Recordable());  // video with the audio
    ASSERT_NE(master.Best(), nullptr);
    EXPECT_EQ(master.Best()->address, L"http://127.0.0.1:81/high.m3u8");
    // A program's choice, or the nearest recordable one once the station dropped it.
    for (auto [chosen, bandwidth] : {std::pair<unsigned long long, unsigned long long>{0, 128000}, {64000, 64000},
                                     {900000, 128000}, {96000, 128000}, {70000, 64000}})
        EXPECT_EQ(master.Pick(chosen)->bandwidth, bandwidth) << chosen;

    CHlsPlaylist media;
    ASSERT_TRUE(media.Parse("#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:41\n"
                            "#EXT-X-MAP:URI=\"init.mp4\"\n"
                            "#EXT-X-PROGRAM-DATE-TIME:2026-12-10T03:12:04.500Z\n#EXTINF:2.000,\nseg41.m4s\n"
                            "#EXTINF:1.5,\nseg42.m4s\n"
                            "#EXT-X-DISCONTINUITY\n#EXTINF:2.0,\nseg43.m4s\n"
                            "#EXT-X-PROGRAM-DATE-TIME:2026-12-10T12:12:10+09:00\n#EXTINF:2.0,\nseg44.m4s\n",
                            base));
    EXPECT_FALSE(media.master);
    EXPECT_EQ(media.targetSeconds, 2);
    EXPECT_FALSE(media.encrypted || media.ended);
    ASSERT_EQ(media.segments.size(), 4u);
    long long at = CHlsPlaylist::ParseDateTime("2026-12-10T03:12:04.500Z");
    ASSERT_NE(at, 0);
    struct Row {
        long long sequence;
        const wchar_t* address;
        long long onAir;  // from the first segment's
        bool discontinuity;
    } rows[] = {{41, L"http://127.0.0.1:8000/live/seg41.m4s", 0, false},
                {42, L"http://127.0.0.1:8000/live/seg42.m4s", 20000000, false},
                {43, L"http://127.0.0.1:8000/live/seg43.m4s", -1, true},  // the clock is not carried over
                {44, L"http://127.0.0.1:8000/live/seg44.m4s", 55000000, false}};
    for (size_t i = 0; i < 4; ++i) {
        const HlsSegment& s = media.segments[i];
        EXPECT_EQ(s.sequence, rows[i].sequence);
        EXPECT_EQ(s.address, rows[i].address);
        EXPECT_EQ(s.map, L"http://127.0.0.1:8000/live/init.mp4");
        EXPECT_EQ(s.onAir, rows[i].onAir < 0 ? 0 : at + rows[i].onAir) << i;
        EXPECT_EQ(s.discontinuity, rows[i].discontinuity);
    }

    // Encrypted, ended, and what is no HLS at all.
    CHlsPlaylist other;
    EXPECT_TRUE(other.Parse("#EXTM3U\n#EXT-X-TARGETDURATION:6\n#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXTINF:6,\n"
                            "a.ts\n#EXT-X-ENDLIST\n", base));
    EXPECT_TRUE(other.encrypted && other.ended);
    for (const char* text : {"#EXTM3U\n#EXTINF:-1,Station\nhttp://127.0.0.1:8000/stream\n", "<html>", ""})
        EXPECT_FALSE(other.Parse(text, base)) << text;
}
