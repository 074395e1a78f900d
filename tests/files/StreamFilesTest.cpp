// A station's stream through the writer with small split sizes, each file
// read back: by the splitter here, by mpg123 and ffprobe as other programs
// read it. Streams made by Debian's encoders (tests/files/make-streams.sh).
#include "files/StreamFile.h"
#include "files/WaveWriter.h"
#include "foundation/TitleText.h"
#include "frames/FrameSplitter.h"
#include "frames/OggPage.h"
#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct Frames {
    std::vector<std::string> raw, audio;  // audio: without Ogg's page headers, no header pages
    std::vector<StreamFrame> info;
    std::vector<OggPage> pages;
};

Frames SplitAll(const std::string& bytes, StreamKind kind)
{
    Frames s;
    CFrameSplitter splitter(kind);
    // In pieces: the splitter holds at most a megabyte.
    for (size_t at = 0; at < bytes.size() || at == 0;) {
        size_t n = std::min<size_t>(bytes.size() - at, 65536);
        splitter.Feed(bytes.data() + at, n);
        at += n;
        for (StreamFrame f; splitter.Next(f, at == bytes.size());) {
            OggPage page;
            if (kind == kKindOgg) {
                EXPECT_EQ(page.Parse(f.data, f.bytes), 0);
            }
            s.raw.emplace_back(reinterpret_cast<const char*>(f.data), f.bytes);
            if (!f.header)
                s.audio.emplace_back(reinterpret_cast<const char*>(f.data) + page.bodyStart, f.bytes - page.bodyStart);
            f.data = nullptr;
            s.info.push_back(f);
            s.pages.push_back(page);
        }
        if (!n)
            break;
    }
    return s;
}

std::string Tool(const std::string& line)
{
    ToolRun run = RunTool(line);
    EXPECT_EQ(run.exitCode, 0) << line << "\n" << run.output;
    return run.output;
}

// One of tests/files/make-streams.sh's streams, made once.
std::string StreamBytes(const std::wstring& name)
{
    static std::string cache;
    if (cache.empty()) {
        std::string made = Tool("sh " + UnixArg(TestBinDir() + L"\\..\\..\\tests\\files\\make-streams.sh"));
        cache = made.substr(0, made.find('\n'));
    }
    return ReadBytes(L"Z:" + std::wstring(cache.begin(), cache.end()) + L"/" + name);
}

size_t TagSize(const std::string& bytes)
{
    return StreamSniff::Id3Size(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string Utf8(const std::wstring& text)
{
    std::string out(text.size() * 3 + 1, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

unsigned Be32(const std::string& s, size_t at)
{
    return static_cast<unsigned>(static_cast<unsigned char>(s[at]) << 24 | static_cast<unsigned char>(s[at + 1]) << 16 |
                                 static_cast<unsigned char>(s[at + 2]) << 8 | static_cast<unsigned char>(s[at + 3]));
}

}  // namespace

// Every file plays alone and holds whole frames, all of them once and in
// order, within the split size; MP3 files begin with a tag and an Info frame
// that counts them, Ogg files with the stream's headers numbered from 0 and
// an end on their last page, also where the next recording takes the
// stream over; the CUE sheet names the files and places a UTF-8 and a
// Shift-JIS title where they came.
TEST(StreamFiles, SplitFilesPlayAloneAndHoldEveryFrameOnce)
{
    struct {
        const wchar_t* ext;
        StreamKind kind;
        unsigned maxSize;
        size_t breakAt;  // a break before this frame (0: none)
        unsigned headers;  // pages
        const char* cueType;
        bool handOver;  // the next recording takes the stream over at 5/6
    } rows[] = {
        {L"mp3", kKindMp3, 30000, 150, 0, "MP3", false},
        {L"aac", kKindAac, 20000, 0, 0, "WAVE", true},
        {L"opus", kKindOgg, 25000, 0, 2, "WAVE", true},
        {L"ogg", kKindOgg, 6000, 20, 2, "WAVE", false},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(Narrow(r.ext));
        TempDir dir;
        std::string stream = StreamBytes(std::wstring(L"tone.") + r.ext);
        Frames in = SplitAll(stream, r.kind);
        ASSERT_GT(in.audio.size(), 20u);
        RecordingParameters recording;
        lstrcpyW(recording.m_Prefix, dir.File(L"Show_202612100800").c_str());
        recording.m_MaxFileSize = r.maxSize;
        lstrcpyW(recording.m_Tags.m_Title, L"夜の番組");
        lstrcpyW(recording.m_Tags.m_Station, L"Test Station");
        recording.m_Tags.m_Start = {2026, 12, 4, 10, 8, 0, 0, 0};
        size_t titleAt = in.info.size() * 2 / 3;  // the Shift-JIS title from this frame on
        size_t handAt = r.handOver ? in.info.size() * 5 / 6 : 0;
        RecordingParameters next = recording;
        lstrcpyW(next.m_Prefix, dir.File(L"Show_202612100900").c_str());
        {
            // The titles as the station sends them, decoded as the reader does.
            SetTitleCodePage(932);
            CWaveWriter writer;
            writer.BeginStream(recording, r.kind);
            writer.Title(TitleText("Artist A - \xE5\xA4\x9C\xE3\x81\xAE\xE6\xAD\x8C", 20).c_str());
            for (size_t i = 0; i < in.info.size(); ++i) {
                if (i == titleAt)
                    writer.Title(TitleText("\x89\xCC\x8E\xE8\x20\x2D\x20\x8C\x8E\x82\xCC\x8C\xF5", 13).c_str());
                if (i == r.breakAt && i)
                    writer.Break();
                if (i == handAt && i) {
                    writer.End();
                    writer.BeginStream(next, r.kind);
                }
                // As a killed recording leaves it: the open file's Info frame at most a second behind.
                if (r.kind == kKindMp3 && i == 140) {
                    ASSERT_TRUE(writer.Drain(20000));
                    std::string bytes = ReadBytes(dir.File(L"Show_202612100800_001.mp3"));
                    size_t tag = TagSize(bytes);
                    Frames file = SplitAll(bytes.substr(tag), r.kind);
                    size_t at = file.raw[0].find("Info");
                    ASSERT_NE(at, std::string::npos);
                    EXPECT_GE(Be32(file.raw[0], at + 8) + 44100 / 1152 + 1, file.audio.size() - 1);
                    EXPECT_GT(file.audio.size(), 44100 / 1152 + 2u);
                }
                StreamFrame f = in.info[i];
                f.data = reinterpret_cast<const unsigned char*>(in.raw[i].data());
                ASSERT_TRUE(writer.AppendFrame(f));
            }
            writer.End();
            ASSERT_TRUE(writer.Drain(20000));
        }
        SetTitleCodePage(0);
        // The files, read back as the splitter reads a station.
        std::vector<std::wstring> names = ListFiles(dir.Path());
        for (const wchar_t* sheet : {L"Show_202612100800_000.cue", L"Show_202612100900_000.cue"}) {
            auto cueName = std::find(names.begin(), names.end(), sheet);
            ASSERT_EQ(cueName != names.end(), r.handOver || sheet[14] == L'8') << Narrow(sheet);
            if (cueName != names.end())
                names.erase(cueName);
        }
        std::sort(names.begin(), names.end());
        ASSERT_GE(names.size(), 2u);
        std::vector<std::string> audio;
        std::vector<size_t> firstFrame;  // of each file, in the stream's audio frames
        std::string cueFiles;
        for (size_t n = 0; n < names.size(); ++n) {
            SCOPED_TRACE(Narrow(names[n]));
            wchar_t expected[64];
            bool second = names[n][14] == L'9';
            unsigned number = static_cast<unsigned>(n);
            if (second)
                number -= static_cast<unsigned>(std::count_if(
                    names.begin(), names.end(), [](const std::wstring& name) { return name[14] == L'8'; }));
            swprintf(expected, 64, L"Show_20261210%ls_%03u.%ls", second ? L"0900" : L"0800", number, r.ext);
            EXPECT_EQ(names[n], expected);
            if (!second)
                cueFiles += "FILE \"" + Narrow(names[n]) + "\" " + r.cueType + "\r\n";
            std::wstring path = dir.File(names[n]);
            std::string bytes = ReadBytes(path);
            EXPECT_LE(bytes.size(), r.maxSize);
            size_t tag = TagSize(bytes);
            EXPECT_EQ(tag != 0, r.kind == kKindMp3);
            Frames file = SplitAll(bytes.substr(tag), r.kind);
            ASSERT_FALSE(file.info.empty());
            size_t from = 0;
            if (r.kind == kKindMp3) {
                // The Info frame: "Info" after the side information, the count of the frames after it.
                size_t at = file.raw[0].find("Info");
                ASSERT_NE(at, std::string::npos);
                EXPECT_EQ(Be32(file.raw[0], at + 4), 3u);
                EXPECT_EQ(Be32(file.raw[0], at + 8), file.audio.size() - 1);
                EXPECT_EQ(Be32(file.raw[0], at + 12), bytes.size() - tag);
                from = 1;
            }
            for (unsigned h = 0; h < file.pages.size() && r.kind == kKindOgg; ++h) {
                EXPECT_EQ(file.info[h].header, h < r.headers) << h;
                EXPECT_EQ(file.pages[h].sequence, h);
                EXPECT_EQ((file.pages[h].flags & OggPage::kLast) != 0, h + 1 == file.pages.size()) << h;
                if (h < r.headers) {
                    EXPECT_TRUE(file.raw[h] == in.raw[h]) << h;
                }
            }
            firstFrame.push_back(audio.size());
            audio.insert(audio.end(), file.audio.begin() + static_cast<long>(from), file.audio.end());
            // Other programs' decoders: every frame decodes, nothing is left over.
            std::string f = UnixArg(path);
            std::string count =
                Tool("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " + f);
            unsigned long packets = 0;  // Ogg: those ffprobe reads, the audio pages' whole packets
            for (size_t i = 0; i < file.pages.size(); ++i)
                packets += file.info[i].header ? 0 : file.pages[i].packetsEnded;
            if (r.kind != kKindOgg) {
                EXPECT_EQ(strtoul(count.c_str(), nullptr, 10), file.audio.size() - from) << count;
            } else {
                count = Tool("ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " + f);
                EXPECT_EQ(strtoul(count.c_str(), nullptr, 10), packets) << count;
            }
            if (r.kind == kKindMp3) {
                std::string checked = Tool("mpg123 -t -v " + f + " 2>&1 | grep -ci 'error\\|warning\\|junk' || true");
                EXPECT_EQ(checked, "0\n");
                EXPECT_EQ(Tool("ffprobe -v error -show_entries format_tags=title,artist,date -of default=nw=1 " + f),
                          "TAG:title=" + Utf8(L"夜の番組") +
                              "\nTAG:artist=Test Station\nTAG:date=2026-12-10T08:00:00\n");
            } else {
                EXPECT_EQ(Tool("ffmpeg -v error -i " + f + " -f null - 2>&1"), "");
            }
        }
        EXPECT_TRUE(audio == in.audio) << audio.size() << " frames written of " << in.audio.size();
        // The sheet: its files in order, and the titles where they began.
        std::string cue = ReadBytes(dir.File(L"Show_202612100800_000.cue"));
        EXPECT_EQ(cue.substr(0, 3), "\xEF\xBB\xBF");
        std::string listed;
        for (size_t at = 0; (at = cue.find("FILE ", at)) != std::string::npos; at = cue.find('\n', at))
            listed += cue.substr(at, cue.find('\n', at) + 1 - at);
        EXPECT_EQ(listed, cueFiles);
        size_t audioAt = 0;
        for (size_t i = 0; i < titleAt; ++i)
            audioAt += !in.info[i].header;
        size_t file = std::upper_bound(firstFrame.begin(), firstFrame.end(), audioAt) - firstFrame.begin() - 1;
        unsigned long long samples = 0;
        for (size_t i = 0, a = 0; i < titleAt; ++i)
            if (!in.info[i].header && a++ >= firstFrame[file])
                samples += in.info[i].samples;
        unsigned long long cd = samples * 75 / in.info.back().rate;
        char index[32];
        snprintf(index, sizeof index, "%02llu:%02llu:%02llu", cd / 75 / 60, cd / 75 % 60, cd % 75);
        std::string moon = "    TITLE \"" + Utf8(L"月の光") + "\"\r\n    PERFORMER \"" + Utf8(L"歌手") +
                           "\"\r\n    INDEX 01 " + index;
        size_t moonAt = cue.find(moon);
        EXPECT_NE(moonAt, std::string::npos) << cue << "\nwant\n" << moon;
        EXPECT_EQ(cue.rfind("FILE ", moonAt), cue.find(Narrow(names[file])) - 6) << cue;
        EXPECT_NE(cue.find("FILE \"Show_202612100800_000." + Narrow(r.ext) + "\" " + r.cueType +
                           "\r\n  TRACK 01 AUDIO\r\n    TITLE \"" +
                           Utf8(L"夜の歌") + "\"\r\n    PERFORMER \"Artist A\"\r\n    INDEX 01 00:00:00\r\n"),
                  std::string::npos)
            << cue;
    }
}

namespace {

// A disk that takes half of one frame and then nothing, or one that stalls
// until m_hGo is set.
class FullDiskWriter : public CWaveWriter {
public:
    unsigned m_FailAt = 0, m_Frames = 0;
    HANDLE m_hGo = nullptr;

protected:
    bool WriteFrameToFile(CStreamFile* file, const StreamFrame& frame) override
    {
        if (m_hGo)
            WaitForSingleObject(m_hGo, 30000);
        if (!m_FailAt || ++m_Frames < m_FailAt)
            return CWaveWriter::WriteFrameToFile(file, frame);
        file->Write(frame.data, frame.bytes / 2);
        return false;
    }
};

}  // namespace

// A change of format goes on in the next number, each file with an Info
// frame of its own format; a full disk ends the file on its last whole
// frame, counted, and is told; the recording's files go to the notice
// window with the CUE sheet last. A stalled disk never holds up the
// reader: the frames the full queue cannot take are counted and told once,
// the rest written.
TEST(StreamFiles, FormatChangeAndFullDisk)
{
    struct {
        StreamKind kind;
        std::vector<const wchar_t*> streams;
        unsigned failAt;
        std::vector<unsigned> frames;  // of each file
        WPARAM notice;                 // 0: none
    } rows[] = {
        {kKindMp3, {L"tone.mp3", L"tone22.mp3"}, 0, {0, 0}, 0},
        {kKindMp3, {L"tone.mp3"}, 100, {99}, kNoticeWriteFailed},
        {kKindAac, {L"tone.aac"}, 100, {99}, kNoticeWriteFailed},
    };
    HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    for (auto& r : rows) {
        SCOPED_TRACE(r.failAt);
        TempDir dir;
        RecordingParameters recording;
        lstrcpyW(recording.m_Prefix, dir.File(L"News_202612100800").c_str());
        recording.m_MaxFileSize = 10u << 20;
        {
            FullDiskWriter writer;
            writer.m_hNoticeWnd = window;
            writer.m_FailAt = r.failAt;
            writer.BeginStream(recording, r.kind);
            for (size_t s = 0; s < r.streams.size(); ++s) {
                Frames in = SplitAll(StreamBytes(r.streams[s]), r.kind);
                if (!r.failAt)
                    r.frames[s] = static_cast<unsigned>(in.info.size());
                for (size_t i = 0; i < in.info.size(); ++i) {
                    StreamFrame f = in.info[i];
                    f.data = reinterpret_cast<const unsigned char*>(in.raw[i].data());
                    f.newFormat = i == 0;
                    writer.AppendFrame(f);
                }
            }
            writer.End();
            ASSERT_TRUE(writer.Drain(20000));
        }
        std::wstring listed;
        for (size_t n = 0; n < r.frames.size(); ++n) {
            wchar_t name[64];
            swprintf(name, 64, L"News_202612100800_%03u.%ls", static_cast<unsigned>(n),
                     r.kind == kKindMp3 ? L"mp3" : L"aac");
            listed += dir.File(name) + L"\n";
            std::string bytes = ReadBytes(dir.File(name));
            size_t tag = TagSize(bytes);
            CFrameSplitter splitter(r.kind);
            splitter.Feed(bytes.data() + tag, bytes.size() - tag);
            Frames file;
            for (StreamFrame f; splitter.Next(f, true);) {
                file.raw.emplace_back(reinterpret_cast<const char*>(f.data), f.bytes);
                file.info.push_back(f);
            }
            EXPECT_EQ(splitter.Skipped(), 0u) << "a part frame at the end";
            unsigned info = r.kind == kKindMp3;
            ASSERT_EQ(file.raw.size(), r.frames[n] + info) << Narrow(name);
            if (info) {
                size_t at = file.raw[0].find("Info");
                ASSERT_NE(at, std::string::npos);
                EXPECT_EQ(Be32(file.raw[0], at + 8), r.frames[n]);
            }
            EXPECT_EQ(file.info[0].rate, file.info[1].rate);
            EXPECT_EQ(file.info[0].channels, file.info[1].channels);
            std::string count = Tool("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
                                     UnixArg(dir.File(name)));
            EXPECT_EQ(strtoul(count.c_str(), nullptr, 10), r.frames[n]);
        }
        EXPECT_EQ(ListFiles(dir.Path()).size(), r.frames.size() + 1);
        listed += dir.File(L"News_202612100800_000.cue") + L"\n";
        MSG msg = {};
        ASSERT_TRUE(WaitUntil(
            [&] { return PeekMessageW(&msg, window, WM_RECORDING_FILES, WM_RECORDING_FILES, PM_REMOVE); }, 5000));
        EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(msg.lParam)), listed);
        delete[] reinterpret_cast<wchar_t*>(msg.lParam);
        bool told = PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_NOTICE, PM_REMOVE);
        EXPECT_EQ(told ? msg.wParam : 0, r.notice);
        if (told)
            delete[] reinterpret_cast<wchar_t*>(msg.lParam);
    }
    TempDir dir;
    RecordingParameters recording;
    lstrcpyW(recording.m_Prefix, dir.File(L"Stall_202612100800").c_str());
    recording.m_MaxFileSize = 100u << 20;
    Frames in = SplitAll(StreamBytes(L"tone.mp3"), kKindMp3);
    unsigned taken = 0, given = 0;
    {
        FullDiskWriter writer;
        writer.m_hNoticeWnd = window;
        writer.m_hGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        writer.BeginStream(recording, kKindMp3);
        DWORD start = GetTickCount();
        for (; given < CWaveWriter::kMaxCommands + 500; ++given) {
            StreamFrame f = in.info[given % in.info.size()];
            f.data = reinterpret_cast<const unsigned char*>(in.raw[given % in.info.size()].data());
            f.newFormat = given == 0;
            taken += writer.AppendFrame(f);
        }
        EXPECT_LT(GetTickCount() - start, 2000u);
        EXPECT_EQ(static_cast<unsigned>(writer.m_DroppedFrames), given - taken);
        EXPECT_GT(given - taken, 400u);
        SetEvent(writer.m_hGo);
        writer.End();
        ASSERT_TRUE(writer.Drain(60000));
        CloseHandle(writer.m_hGo);
    }
    std::string bytes = ReadBytes(dir.File(L"Stall_202612100800_000.mp3"));
    size_t tag = TagSize(bytes);
    EXPECT_EQ(SplitAll(bytes.substr(tag), kKindMp3).info.size(), taken + 1u);
    MSG msg = {};
    unsigned full = 0;
    while (PeekMessageW(&msg, window, WM_RECORDING_NOTICE, WM_RECORDING_FILES, PM_REMOVE)) {
        full += msg.message == WM_RECORDING_NOTICE && msg.wParam == kNoticeQueueFull;
        delete[] reinterpret_cast<wchar_t*>(msg.lParam);
    }
    EXPECT_EQ(full, 1u);
    DestroyWindow(window);
}
