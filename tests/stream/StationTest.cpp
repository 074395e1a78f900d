// The station's stream against the test station (tests/stream/station.py,
// started by run-stream-tests.sh): every byte read must be the station's
// frames in order with the metadata taken out, and every failure told as
// what it is.
#include "foundation/TitleText.h"
#include "stream/StationAddress.h"
#include "stream/StationConnection.h"
#include "stream/StationProbe.h"
#include "stream/WinHttpTransport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <sstream>

namespace {

std::wstring Station(const std::wstring& path)
{
    return L"http://127.0.0.1:" + EnvironmentValue(L"MARIVANE_STATION_PORT") + path;
}

// Empty when bytes are the frames the station logged for its last
// connection to target, in order from the first, none twice; else what differs.
std::string CheckAgainstLog(const std::string& bytes, const std::string& target)
{
    std::istringstream log(ReadBytes(EnvironmentValue(L"MARIVANE_STATION_LOG")));
    struct Sent { std::string index; size_t length; std::string hash; };
    std::vector<Sent> sent;
    int last = -1;  // an earlier connection may still be sending meanwhile
    for (std::string line; std::getline(log, line);) {
        std::istringstream in(line);
        int conn;
        std::string path, index, hash;
        size_t offset, length;
        if (!(in >> conn >> path >> index >> offset >> length >> hash) || path != target || conn < last)
            continue;
        if (conn != last)
            sent.clear();
        last = conn;
        sent.push_back({index, length, hash});
    }
    if (sent.empty())
        return "the station logged nothing for " + target;
    size_t at = 0, i = 0;
    for (long long previous = -1; i < sent.size() && at + sent[i].length <= bytes.size(); at += sent[i++].length) {
        if (Fnv(reinterpret_cast<const unsigned char*>(bytes.data()) + at, sent[i].length) != sent[i].hash)
            return "frame " + std::to_string(i) + " at byte " + std::to_string(at) + " is not the one sent";
        if (sent[i].index != "header") {
            long long index = std::stoll(sent[i].index);
            if (previous >= 0 && index != previous + 1)
                return "frame " + std::to_string(index) + " follows " + std::to_string(previous);
            previous = index;
        }
    }
    if (at < bytes.size() && (i == sent.size() || bytes.size() - at >= sent[i].length))
        return std::to_string(bytes.size() - at) + " bytes after the last frame sent";
    return std::string();
}

struct Row {
    const wchar_t* path;
    bool socket;                  // through the seam: plain http:// over the socket
    int refusals;                 // Opens that fail first
    StationFailure openFailure;   // of the last Open (kFailNone: it opens)
    unsigned status;
    StreamKind kind;
    const wchar_t* audioFrom;     // the address the audio came from ends so
    const char* logged;           // the station's log name of that connection
    bool titles;
    StationFailure readFailure;   // kFailNone: read 64 KB; else read until it ends so
};

const Row kRows[] = {
    {L"/mp3?c=1", false, 0, kFailNone, 200, kKindMp3, L"/mp3?c=1", "/mp3?c=1", true, kFailNone},
    {L"/aac?c=2", false, 0, kFailNone, 200, kKindAac, L"/aac?c=2", "/aac?c=2", true, kFailNone},
    {L"/opus?c=3", false, 0, kFailNone, 200, kKindOgg, L"/opus?c=3", "/opus?c=3", true, kFailNone},
    {L"/icy?c=4", true, 0, kFailNone, 200, kKindMp3, L"/icy?c=4", "/icy?c=4", true, kFailNone},
    {L"/list.pls", false, 0, kFailNone, 200, kKindMp3, L"/icy", "/icy", true, kFailNone},
    {L"/list.pls", true, 0, kFailNone, 200, kKindMp3, L"/icy", "/icy", true, kFailNone},
    {L"/list.m3u", false, 0, kFailNone, 200, kKindAac, L"/aac", "/aac", true, kFailNone},
    {L"/redirect", false, 0, kFailNone, 200, kKindMp3, L"/mp3?from=redirect", "/mp3?from=redirect", true, kFailNone},
    {L"/redirect", true, 0, kFailNone, 200, kKindMp3, L"/mp3?from=redirect", "/mp3?from=redirect", true, kFailNone},
    {L"/refuse403?c=10", false, 2, kFailNone, 200, kKindMp3, L"/refuse403?c=10", "/refuse403?c=10", true, kFailNone},
    {L"/refuse403?c=11", true, 2, kFailNone, 200, kKindMp3, L"/refuse403?c=11", "/refuse403?c=11", true, kFailNone},
    {L"/stall?c=12", false, 0, kFailNone, 200, kKindMp3, L"/stall?c=12", "/stall?c=12", false, kFailStalled},
    {L"/stall?c=13", true, 0, kFailNone, 200, kKindMp3, L"/stall?c=13", "/stall?c=13", false, kFailStalled},
    {L"/drop?c=14", false, 0, kFailNone, 200, kKindMp3, L"/drop?c=14", "/drop?c=14", false, kFailEnded},
    {L"/drop?c=15", true, 0, kFailNone, 200, kKindMp3, L"/drop?c=15", "/drop?c=15", false, kFailEnded},
    {L"/html", false, 0, kFailHtml, 200, kKindHtml, nullptr, nullptr, false, kFailNone},
    {L"/html", true, 0, kFailHtml, 200, kKindHtml, nullptr, nullptr, false, kFailNone},
    {L"/hls.m3u8", false, 0, kFailHls, 200, kKindHls, nullptr, nullptr, false, kFailNone},
    {L"/nothing", false, 0, kFailStatus, 404, kKindUnknown, nullptr, nullptr, false, kFailNone},
    {L"/nothing", true, 0, kFailStatus, 404, kKindUnknown, nullptr, nullptr, false, kFailNone},
};

const StationTitle kTitles[] = {
    {8192, L"Test Title"}, {3 * 8192, L"ニュース・天気"}, {5 * 8192, L"Météo – 天気予報"}};

class StationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(EnvironmentValue(L"MARIVANE_STATION_PORT").empty()) << "run by tests/stream/run-stream-tests.sh";
        SetTitleCodePage(932);  // the Shift-JIS title is read as a Japanese Windows reads it
        CStationConnection::s_StallMs = 2000;
    }
    void TearDown() override
    {
        SetTitleCodePage(0);
        CStationConnection::s_bSocketAlways = false;
        CWinHttpTransport::s_bRefuseIcy = false;
        CStationConnection::s_StallMs = CStationConnection::kStallMs;
    }
};

TEST_F(StationTest, ReadsWhatTheStationSent)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(Narrow(row.path) + (row.socket ? " over the socket" : " through WinHTTP"));
        CStationConnection::s_bSocketAlways = row.socket;
        CStationConnection c;
        for (int i = 0; i < row.refusals; ++i) {
            EXPECT_FALSE(c.Open(Station(row.path).c_str()));
            EXPECT_EQ(c.Failure(), kFailStatus);
            EXPECT_EQ(c.Status(), 403u);
            EXPECT_TRUE(c.Temporary());
            EXPECT_EQ(c.Reason(false), L"The station refused the connection (HTTP 403).");
        }
        bool opened = c.Open(Station(row.path).c_str());
        EXPECT_EQ(opened, row.openFailure == kFailNone) << Narrow(c.Reason(false));
        EXPECT_EQ(c.Failure(), row.openFailure);
        EXPECT_EQ(c.Status(), row.status);
        EXPECT_EQ(c.Info().kind, row.kind);
        if (!opened) {
            EXPECT_EQ(c.Temporary(), row.openFailure == kFailStatus);
            continue;
        }
        const std::wstring& from = c.Info().address;
        EXPECT_EQ(from.substr(from.size() - std::min(from.size(), wcslen(row.audioFrom))), row.audioFrom);
        EXPECT_EQ(c.Info().answer.name, L"Test Station");
        EXPECT_EQ(c.Info().answer.metaint, 8192u);
        EXPECT_EQ(c.Info().answer.icy, std::wstring(row.audioFrom).find(L"/icy") == 0 && row.socket);
        std::string bytes;
        std::vector<StationTitle> titles;
        unsigned char buffer[5000];
        size_t got = 0;
        DWORD lastByte = GetTickCount();
        while (bytes.size() < 6 * 8192 || row.readFailure != kFailNone) {
            if (!c.Read(buffer, sizeof(buffer), got, titles))
                break;
            bytes.append(reinterpret_cast<char*>(buffer), got);
            lastByte = GetTickCount();
        }
        EXPECT_EQ(c.Failure(), row.readFailure) << Narrow(c.Reason(false));
        if (row.readFailure == kFailStalled) {
            DWORD waited = GetTickCount() - lastByte;
            EXPECT_GE(waited, 1900u);
            EXPECT_LT(waited, 4000u);
        }
        if (row.readFailure != kFailNone) {
            EXPECT_TRUE(c.Temporary());
        }
        EXPECT_EQ(c.AudioBytes(), bytes.size());
        EXPECT_GE(bytes.size(), 6u * 8192);
        EXPECT_EQ(CheckAgainstLog(bytes, row.logged), "");
        if (row.titles) {
            ASSERT_GE(titles.size(), 3u);
            for (size_t i = 0; i < 3; ++i) {
                EXPECT_EQ(titles[i].offset, kTitles[i].offset);
                EXPECT_EQ(titles[i].text, kTitles[i].text);
            }
        }
    }
}

TEST_F(StationTest, WinHttpRefusingIcyIsAskedAgainOverTheSocket)
{
    CWinHttpTransport::s_bRefuseIcy = true;
    for (const wchar_t* path : {L"/icy", L"/list.pls", L"/mp3"}) {
        CStationConnection c;
        EXPECT_TRUE(c.Open(Station(path).c_str())) << Narrow(c.Reason(false));
        EXPECT_EQ(c.Info().socketPath, wcscmp(path, L"/mp3") != 0) << Narrow(path);
        EXPECT_EQ(c.Info().answer.icy, wcscmp(path, L"/mp3") != 0) << Narrow(path);
        EXPECT_EQ(c.Info().kind, kKindMp3);
    }
    CWinHttpTransport::s_bRefuseIcy = false;
}

TEST_F(StationTest, DropThenRefusals)
{
    // After a drop the station refuses for 5 s: a temporary failure, told.
    for (bool socket : {false, true}) {
        CStationConnection::s_bSocketAlways = socket;
        const wchar_t* path = socket ? L"/drop?c=20" : L"/drop?c=21";
        CStationConnection c;
        ASSERT_TRUE(c.Open(Station(path).c_str()));
        unsigned char buffer[16384];
        size_t got;
        std::vector<StationTitle> titles;
        while (c.Read(buffer, sizeof(buffer), got, titles)) {
        }
        EXPECT_EQ(c.Failure(), kFailEnded);
        EXPECT_FALSE(c.Open(Station(path).c_str()));
        EXPECT_EQ(c.Failure(), kFailStatus);
        EXPECT_EQ(c.Status(), 503u);
        EXPECT_TRUE(c.Temporary());
        EXPECT_EQ(c.Reason(true), L"放送局のサーバーに問題があります (HTTP 503)。");
    }
}

TEST_F(StationTest, TellsAddressesNoStationIsAt)
{
    // 127.0.0.1 port 1: nobody listens.
    struct {
        const wchar_t* address;
        StationFailure failure;
        bool temporary;
    } const rows[] = {
        {L"ftp://127.0.0.1/x", kFailBadAddress, false},
        {L"http://", kFailBadAddress, false},
        {L"http://127.0.0.1:99999/", kFailBadAddress, false},
        {L"http://127.0.0.1:1/", kFailConnect, true},
    };
    for (bool socket : {false, true}) {
        CStationConnection::s_bSocketAlways = socket;
        for (const auto& row : rows) {
            CStationConnection c;
            EXPECT_FALSE(c.Open(row.address)) << Narrow(row.address);
            EXPECT_EQ(c.Failure(), row.failure) << Narrow(row.address);
            EXPECT_EQ(c.Temporary(), row.temporary) << Narrow(row.address);
        }
    }
}

TEST(StationAddress, RedirectsAndRelativeAddresses)
{
    struct {
        const wchar_t* from;
        const wchar_t* to;
        const wchar_t* whole;
        bool allowed;
    } const rows[] = {
        {L"https://127.0.0.1:8001/live", L"http://127.0.0.1:8002/live", L"http://127.0.0.1:8002/live", false},
        {L"https://127.0.0.1:8001/live", L"https://127.0.0.1:8002/live", L"https://127.0.0.1:8002/live", true},
        {L"http://127.0.0.1:8001/live", L"https://127.0.0.1:8002/live", L"https://127.0.0.1:8002/live", true},
        {L"http://127.0.0.1:8000/radio/list.pls?x=1", L"stream", L"http://127.0.0.1:8000/radio/stream", true},
        {L"http://127.0.0.1:8001/radio/list.m3u", L"../hi/stream.mp3", L"http://127.0.0.1:8001/hi/stream.mp3", true},
        {L"https://127.0.0.1:8001/radio/x", L"/top", L"https://127.0.0.1:8001/top", true},
        {L"https://127.0.0.1:8001/radio/x", L"//127.0.0.1:8003/s", L"https://127.0.0.1:8003/s", true},
    };
    for (const auto& row : rows) {
        std::wstring whole = StationAddress::Resolve(row.from, row.to);
        EXPECT_EQ(whole, row.whole);
        EXPECT_EQ(StationAddress::RedirectAllowed(row.from, whole), row.allowed) << Narrow(whole);
    }
}

TEST(IcyMetadata, AnyPiecesTheNetworkHandsOver)
{
    // 40 bytes of audio between blocks: a title, an empty block, the same
    // title again (no change), another with an apostrophe, then no text at all.
    const std::string blocks[] = {std::string("\x02StreamTitle='One';StreamUrl='';\0\0\0", 33),
                                  std::string(1, '\0'),
                                  std::string("\x02StreamTitle='One';", 19) + std::string(14, '\0'),
                                  std::string("\x02StreamTitle='Rock 'n' roll';", 29) + std::string(4, '\0'),
                                  std::string("\x01", 1) + std::string(16, '\0')};
    std::string sent, audio;
    for (int i = 0; i < 5; ++i) {
        std::string piece(40, static_cast<char>('a' + i));
        sent += piece + blocks[i];
        audio += piece;
    }
    sent += "tail";
    audio += "tail";
    for (size_t step : {size_t(1), size_t(2), size_t(7), size_t(16), size_t(41), sent.size()}) {
        CIcyMetadata metadata(40);
        std::string bytes = sent, out;
        std::vector<StationTitle> titles;
        for (size_t at = 0; at < bytes.size(); at += step) {
            size_t n = std::min(step, bytes.size() - at);
            size_t kept = metadata.Strip(reinterpret_cast<unsigned char*>(&bytes[at]), n, titles);
            out.append(bytes, at, kept);
        }
        EXPECT_EQ(out, audio) << step;
        ASSERT_EQ(titles.size(), 2u) << step;
        EXPECT_EQ(titles[0].offset, 40u);
        EXPECT_EQ(titles[0].text, L"One");
        EXPECT_EQ(titles[1].offset, 160u);
        EXPECT_EQ(titles[1].text, L"Rock 'n' roll");
        EXPECT_EQ(metadata.AudioBytes(), audio.size());
    }
}

DWORD WINAPI CancelLater(void* flag)
{
    Sleep(300);
    InterlockedExchange(static_cast<volatile LONG*>(flag), 1);
    return 0;
}

TEST_F(StationTest, DescribeSaysWhatTheStationSends)
{
    struct {
        const wchar_t* path;
        bool socket;
        bool ok;
        const wchar_t* english;
        const wchar_t* japanese;  // null: the English with "stereo" in Japanese
    } const rows[] = {
        {L"/mp3", false, true, L"MP3 · 128 kbit/s · 44.1 kHz stereo · Test Station", nullptr},
        {L"/list.pls", false, true, L"MP3 · 128 kbit/s · 44.1 kHz stereo · Test Station", nullptr},
        {L"/icy", true, true, L"MP3 · 128 kbit/s · 44.1 kHz stereo · Test Station", nullptr},
        {L"/aac", false, true, L"AAC · 96 kbit/s · 48 kHz stereo · Test Station", nullptr},
        {L"/opus", false, true, L"Ogg Opus · 48 kHz stereo · Test Station", nullptr},
        {L"/html", false, false, L"The address leads to a web page, not a stream.",
         L"このアドレスは放送ではなくウェブページです。"},
        // An HLS playlist whose segment is not there.
        {L"/hls.m3u8", false, false, L"The station has no stream at this address (HTTP 404).",
         L"このアドレスに放送はありません (HTTP 404)。"},
        {L"/refuse403?c=30", false, false, L"The station refused the connection (HTTP 403).",
         L"放送局が接続を拒否しました (HTTP 403)。"},
    };
    for (const auto& row : rows) {
        CStationConnection::s_bSocketAlways = row.socket;
        for (bool japanese : {false, true}) {
            wchar_t text[200];
            EXPECT_EQ(CStationProbe::Describe(Station(row.path).c_str(), japanese, text, 200), row.ok);
            std::wstring expected = japanese && row.japanese ? row.japanese : row.english;
            if (japanese && !row.japanese)
                expected.replace(expected.find(L"stereo"), 6, L"ステレオ");
            EXPECT_EQ(std::wstring(text), expected) << Narrow(row.path);
        }
    }
    // A server that takes the connection and never answers: cancelled within a second.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET silent = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(at);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof(at)), 0);
    listen(silent, 4);
    getsockname(silent, reinterpret_cast<sockaddr*>(&at), &size);
    std::wstring address = L"http://127.0.0.1:" + std::to_wstring(ntohs(at.sin_port)) + L"/";
    for (bool socket : {false, true}) {
        CStationConnection::s_bSocketAlways = socket;
        volatile LONG cancel = 0;
        HANDLE canceller = CreateThread(nullptr, 0, CancelLater, const_cast<LONG*>(&cancel), 0, nullptr);
        DWORD start = GetTickCount();
        wchar_t text[200];
        EXPECT_FALSE(CStationProbe::Describe(address.c_str(), false, text, 200, &cancel));
        EXPECT_LT(GetTickCount() - start, 1500u);
        EXPECT_EQ(std::wstring(text), L"Cancelled.");
        WaitForSingleObject(canceller, INFINITE);
        CloseHandle(canceller);
    }
    closesocket(silent);
    WSACleanup();
}

}  // namespace
