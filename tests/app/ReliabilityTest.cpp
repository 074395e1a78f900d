// What the program must survive unattended: being killed in the middle of a
// recording (in each format), a missing capture device, a WAV folder on a
// full disk.
#include "app/Recorder.h"
#include "support/Decoders.h"

#include <random>

namespace {

// Wine's sound driver choice for processes started while it lives.
class AudioDriverSetting {
public:
    explicit AudioDriverSetting(const wchar_t* driver)
    {
        DWORD size = sizeof m_Old;
        m_HadOld = RegGetValueW(HKEY_CURRENT_USER, kKey, L"Audio", RRF_RT_REG_SZ, nullptr, m_Old, &size) == 0;
        Set(driver);
    }
    ~AudioDriverSetting()
    {
        if (m_HadOld)
            Set(m_Old);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Audio");
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Wine\\Drivers";
    static void Set(const wchar_t* value)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Audio", REG_SZ, value, static_cast<DWORD>((wcslen(value) + 1) * 2));
    }
    wchar_t m_Old[64] = L"";
    bool m_HadOld = false;
};

}  // namespace

// Run by tests/app/reliability.sh, which reads the WAV files it keeps with
// sox. WAV killed at random moments (the 1 MB split among them): every
// header covers its data. FLAC and Opus killed 12 s in: decoded by flac -F
// (as a file never finished) and opusdec to at least 11 s, FLAC to the ramp
// unbroken; what the encoders hold back is a block or a page of under a second.
TEST(Reliability, KilledDuringRecordingEveryFormatKeepsItsData)
{
    std::wstring keep = EnvironmentValue(L"MARIVANE_KEEP_DIR");
    if (keep.empty())
        GTEST_SKIP() << "run by tests/app/reliability.sh";
    std::mt19937 random(GetTickCount());
    // Five WAV rounds in scripts/bench.
    const int wavRounds = EnvironmentValue(L"MARIVANE_FULL_RUNS").empty() ? 4 : 5;
    for (int round = 0; round < wavRounds + 2; ++round) {
        FileType type = round < wavRounds ? kFileWav : round == wavRounds ? kFileFlac : kFileOpus;
        SCOPED_TRACE("round " + std::to_string(round));
        Recorder rec;
        rec.fileFormat = type;
        CDateTime start = SecondsFromNow(2);
        rec.Write({Program(start, SecondsFromNow(600), 0, L"Killed")}, type == kFileWav ? 1 : 100);
        ChildProcess child;
        ASSERT_TRUE(rec.Start(child)) << "error " << GetLastError();
        ASSERT_TRUE(rec.WaitForTrace("[CaptureStart] start capture", 20000));
        // WAV up to 7 s: the 1 MB split falls inside the range too.
        Sleep(type == kFileWav ? std::uniform_int_distribution<int>(300, 7000)(random) : 12000);
        child.Kill();
        std::wstring prefix = rec.wavDir + L"\\Killed_" + Stamp(start);
        if (type != kFileWav) {
            std::wstring file = WavName(prefix, 0, RecordingFormat::Name(type));
            ToolRun decoded = type == kFileFlac ? DecodeFlac(file, true) : DecodeOpus(file, 48000);
            EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
            if (type == kFileFlac)
                CheckRamp(decoded.pcm, 2, "the killed FLAC recording");
            EXPECT_GE(decoded.pcm.size() / 4, 11 * 48000u);
            EXPECT_LE(decoded.pcm.size() / 4, 13 * 48000u);
            continue;
        }
        // Unheadered at most the last 2 s (of 4 bytes a frame).
        RecordedFiles r = ReadRecording(prefix, 48000, 2, 1048576, 2 * 48000 * 4);
        ASSERT_GT(r.files, 0u);
        EXPECT_EQ(r.files, rec.Wavs().size());
        CheckRamp(r.pcm, 2, "round " + std::to_string(round));
        std::vector<std::string> kept;
        for (const auto& name : rec.Wavs()) {
            std::wstring copy = keep + L"\\round" + std::to_wstring(round) + L"_" + name;
            EXPECT_TRUE(CopyFileW((rec.wavDir + L"\\" + name).c_str(), copy.c_str(), FALSE));
            kept.push_back(ReadBytes(rec.wavDir + L"\\" + name));
        }
        if (round > 0)
            continue;
        // The next start tells what was kept, and records the rest into the next number, the old files untouched.
        ChildProcess again;
        HWND hwnd = rec.Launch(again);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_TRUE(rec.WaitForTrace("of 0:09:58 kept. The rest is recorded into the next file.", 20000));
        EXPECT_TRUE(rec.WaitForTrace("Balloon: A recording was cut short: Killed was cut at ", 1000));
        EXPECT_TRUE(rec.WaitForTrace("[CaptureStart] start capture", 20000, 2));
        Sleep(1500);
        EXPECT_EQ(ExitProgram(hwnd, again), 0u);
        std::vector<std::wstring> names = rec.Wavs();
        ASSERT_EQ(names.size(), kept.size() + 1);
        for (size_t i = 0; i < kept.size(); ++i)
            EXPECT_EQ(ReadBytes(rec.wavDir + L"\\" + names[i]), kept[i]) << Narrow(names[i]);
    }
}

TEST(Reliability, NoCaptureDeviceRetriesEveryTenSecondsUntilClosed)
{
    Recorder rec;
    rec.Write({Program(SecondsFromNow(2), SecondsFromNow(600), 0, L"Nothing")});
    ChildProcess child;
    {
        // With no sound driver Wine lists no capture device at all. A process
        // reads the setting once, so it is restored as soon as the child runs.
        AudioDriverSetting none(L"");
        ASSERT_TRUE(rec.Start(child));
        ASSERT_TRUE(rec.WaitForTrace("Setup Recording", 15000));
        Sleep(1000);
    }
    HWND hwnd = child.WaitForMainWindow(15000);
    ASSERT_NE(hwnd, nullptr);
    // Each attempt tries WASAPI, then waveIn: one fallback line per attempt.
    const std::string failed = "[CaptureOpen] WASAPI capture failed";
    rec.WaitForTrace(failed, 40000, 3);
    std::vector<long long> attempts = rec.TraceTimes(failed);
    ASSERT_GE(attempts.size(), 3u) << ReadBytes(rec.traceFile);
    // The start itself is one more attempt; then every 10 s.
    EXPECT_LT(attempts[1] - attempts[0], 5000000);
    for (size_t i = 2; i < attempts.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(attempts[i] - attempts[i - 1]), 10e6, 1.5e6) << "retry " << i;
    }
    EXPECT_TRUE(child.Running());
    // The user hears of it once, as the start passes, however often it is retried.
    EXPECT_EQ(rec.TraceCount("Balloon: Nothing: The capture device could not be opened"), 1) << ReadBytes(rec.traceFile);
    // The close request ends the retry loop at once.
    DWORD asked = GetTickCount();
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
    EXPECT_LT(GetTickCount() - asked, 5000u);
    EXPECT_TRUE(rec.Wavs().empty());
}

// Run by tests/app/reliability.sh on a small file system of its own. In
// FLAC too, from the input it cannot pack (96 KB a second): the file ends
// with the last whole frame the disk took, and decodes.
TEST(Reliability, FullDiskClosesTheFileAndTheNextProgramRecords)
{
    std::wstring small = EnvironmentValue(L"MARIVANE_SMALL_DISK");
    if (small.empty())
        GTEST_SKIP() << "run by tests/app/reliability.sh";
    for (FileType type : {kFileWav, kFileFlac}) {
        SCOPED_TRACE(Narrow(RecordingFormat::Name(type)));
        Recorder rec;
        rec.wavDir = small;
        rec.fileFormat = type;
        rec.deviceName = type == kFileFlac ? L"Scrambled" : L"";
        // Leave 1 MB (FLAC half of it): the first program needs about 1.9 MB (1 MB).
        unsigned long long left = type == kFileFlac ? 524288 : 1048576;
        ULARGE_INTEGER free = {};
        ASSERT_TRUE(GetDiskFreeSpaceExW(small.c_str(), &free, nullptr, nullptr));
        ASSERT_GT(free.QuadPart, left);
        std::wstring filler = small + L"\\filler.bin";
        ASSERT_TRUE(WriteBytes(filler, std::string(static_cast<size_t>(free.QuadPart - left), '\0')));

        CDateTime start1 = SecondsFromNow(3), stop1 = SecondsFromNow(13);
        CDateTime start2 = SecondsFromNow(18), stop2 = SecondsFromNow(22);
        rec.Write({Program(start1, stop1, 0, L"Full"), Program(start2, stop2, 0, L"After")}, 100);
        ChildProcess child;
        HWND hwnd = rec.Launch(child);
        ASSERT_NE(hwnd, nullptr);
        ASSERT_TRUE(rec.WaitForTrace("[" + Narrow(Text(stop1)) + "] (ID=", 30000));
        Sleep(500);
        DeleteFileW(filler.c_str());  // space is back before the next program
        ASSERT_TRUE(rec.WaitForTrace("[" + Narrow(Text(stop2)) + "] (ID=", 30000));
        Sleep(1000);
        EXPECT_TRUE(child.Running());
        EXPECT_EQ(ExitProgram(hwnd, child), 0u);
        EXPECT_EQ(rec.TraceCount("Balloon: Full: Writing the recording file failed"), 1);
        std::wstring full = small + L"\\Full_" + Stamp(start1), after = small + L"\\After_" + Stamp(start2);
        if (type == kFileFlac) {
            ToolRun decoded = DecodeFlac(WavName(full, 0, L"flac"), true);
            EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
            EXPECT_GT(CheckScrambled(decoded.pcm, "the FLAC file on the full disk"), 48000u * 3);
            EXPECT_NEAR(CheckScrambled(DecodeFlac(WavName(after, 0, L"flac")).pcm, "the next one"), 4 * 48000.0, 480);
            continue;
        }
        // The first file was finished with what the disk took: sizes true, whole frames.
        RecordedFiles r = ReadRecording(full, 48000, 2);
        EXPECT_EQ(r.files, 1u);
        EXPECT_GT(r.pcm.size(), 900000u);
        CheckRamp(r.pcm, 2, "the file on the full disk");
        // The next program recorded in full.
        size_t frames = CheckRecording(small, L"After_" + Stamp(start2), 0);
        EXPECT_GT(frames, 48000u * 3);
        EXPECT_LT(frames, 48000u * 5);
        for (const auto& name : rec.Wavs())  // room for the next round
            DeleteFileW((small + L"\\" + name).c_str());
    }
}
