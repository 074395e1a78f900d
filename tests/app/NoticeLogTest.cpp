// The notice log, and a notice through the real program: a settings file
// cut in the middle of its second program.
#include "app/Recorder.h"
#include "notices/NoticeLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

// Lines Notepad shows as they are: UTF-8 with one byte order mark, CRLF,
// time, program and text apart by tabs; at 1 MB the file moves to
// marivane-old.log and starts afresh.
TEST(NoticeLog, LinesForNotepadAndOneOldGeneration)
{
    TempDir dir;
    std::wstring log = dir.File(L"marivane.log"), old = dir.File(L"marivane-old.log");
    CDateTime when;
    when.Set(2026, 12, 9, 7, 30, 5);
    ASSERT_TRUE(CNoticeLog::Append(log.c_str(), when, L"ニュース", L"no sound for a minute"));
    ASSERT_TRUE(CNoticeLog::Append(log.c_str(), when, L"", L"second"));
    EXPECT_EQ(ReadBytes(log), "\xEF\xBB\xBF" "2026/12/09 07:30:05\t" + Narrow(L"ニュース") +
                                  "\tno sound for a minute\r\n2026/12/09 07:30:05\t\tsecond\r\n");
    ASSERT_TRUE(WriteBytes(log, std::string(CNoticeLog::kRotateBytes, 'x')));
    ASSERT_TRUE(CNoticeLog::Append(log.c_str(), when, L"", L"fresh"));
    EXPECT_EQ(ReadBytes(old).size(), CNoticeLog::kRotateBytes);
    EXPECT_EQ(ReadBytes(log), "\xEF\xBB\xBF" "2026/12/09 07:30:05\t\tfresh\r\n");
}

// Notices of the real program, each a balloon and a line of the log: a
// settings file cut in the middle of its last program (the readable part is
// loaded and the original kept before the first save can drop the rest), a
// program that ended while the program was not running, and a recording
// from the input "Quiet" of the virtual microphone, which delivers zeros.
TEST(NoticeLog, DamageMissedProgramsAndSilenceAreTold)
{
    Recorder rec;
    rec.Write({Program(SecondsFromNow(-7200), SecondsFromNow(-3600), 0, L"Gone"),
               Program(SecondsFromNow(6), SecondsFromNow(75), 0, L"Hush"),
               Program(SecondsFromNow(7200), SecondsFromNow(7260), 0, L"Cut")});
    std::wstring ini = rec.workDir.File(L"marivane.ini");
    std::string text = ReadBytes(ini);
    text.replace(text.find("<config>"), 8, "<config><cap_device_name>Quiet</cap_device_name>");
    std::string cut = text.substr(0, text.find("Cut") + 1);
    ASSERT_TRUE(WriteBytes(ini, cut));
    ChildProcess child;
    HWND hwnd = rec.Launch(child);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(rec.WaitForTrace("Balloon: The settings file was damaged: ", 10000));
    EXPECT_EQ(ReadBytes(ini + L".bad"), cut);
    EXPECT_TRUE(rec.WaitForTrace("Balloon: Missed recordings: Missed while not running: Gone  ", 5000));
    EXPECT_TRUE(rec.WaitForTrace("Balloon: Hush: Hush: no sound for a minute. Check the input device and its level.", 80000));
    std::string log = ReadBytes(rec.workDir.File(L"marivane.log"));
    EXPECT_NE(log.find("\tThe settings file was damaged\tThe settings file"), std::string::npos);
    EXPECT_NE(log.find("\tHush\tHush: no sound for a minute."), std::string::npos);
    EXPECT_NE(log.find("\tMissed recordings\tMissed while not running: Gone  "), std::string::npos);
    EXPECT_EQ(ExitProgram(hwnd, child), 0u);
}
