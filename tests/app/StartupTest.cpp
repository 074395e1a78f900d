// Start-up and shut-down of the real executable: trace binding, the
// configuration's location, single instance and exit codes.
#include "app/AppEntry.h"
#include "app/Installation.h"
#include "config/AppParameter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <thread>


TEST(Startup, WithoutDebugLibraryRunsAndWritesNothing)
{
    Installation inst;
    ChildProcess child;
    EXPECT_EQ(inst.RunAndClose(child), 0u);
    EXPECT_FALSE(Exists(inst.traceFile));
    // Nothing is written at exit: no configuration file appears anywhere.
    EXPECT_FALSE(Exists(inst.appDir.File(L"marivane.ini")));
    EXPECT_FALSE(Exists(inst.workDir.File(L"marivane.ini")));
}

TEST(Startup, DebugLibraryReceivesPathLinesInOrder)
{
    Installation inst(TestTracer());
    ChildProcess child;
    EXPECT_EQ(inst.RunAndClose(child), 0u);
    std::vector<std::string> lines = inst.Trace();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "app_path     = " + Narrow(inst.appDir.Path()) + "\n");
    EXPECT_EQ(lines[1], "current_path = " + Narrow(inst.workDir.Path()) + "\n");
    // No file in the current directory: the application folder's is used.
    EXPECT_EQ(lines[2], "ini_file = " + Narrow(inst.appDir.File(L"marivane.ini")) + "\n");
}

TEST(Startup, ConfigurationInCurrentDirectoryWins)
{
    Installation inst(TestTracer());
    const std::string ini = "<?xml version=\"1.0\" ?>\r\n<config><language>0</language>\r\n</config>\r\n";
    ASSERT_TRUE(WriteBytes(inst.workDir.File(L"marivane.ini"), ini));
    ASSERT_TRUE(WriteBytes(inst.appDir.File(L"marivane.ini"), ini));
    ChildProcess child;
    EXPECT_EQ(inst.RunAndClose(child), 0u);
    std::vector<std::string> lines = inst.Trace();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "ini_file = " + Narrow(inst.workDir.File(L"marivane.ini")) + "\n");
    // Read once, never written at exit.
    EXPECT_EQ(ReadBytes(inst.workDir.File(L"marivane.ini")), ini);
}

TEST(Startup, LibraryWithoutExportIsLoadedButUnused)
{
    Installation inst(NoExportTracer());
    ChildProcess child;
    EXPECT_EQ(inst.RunAndClose(child), 0u);
    EXPECT_FALSE(Exists(inst.traceFile));
    EXPECT_EQ(ReadBytes(inst.traceFile + L".dll"), "loaded\nunloaded\n");
}

TEST(Startup, LibraryInCurrentDirectoryIsNotLoaded)
{
    Installation inst;
    ASSERT_TRUE(CopyFileW(TestTracer().c_str(), inst.workDir.File(kTracer).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(NoExportTracer().c_str(), inst.workDir.File(L"noexport.dll").c_str(), FALSE));
    ChildProcess child;
    EXPECT_EQ(inst.RunAndClose(child), 0u);
    EXPECT_FALSE(Exists(inst.traceFile));
}

TEST(Startup, SecondInstanceExitsWithZeroAndLeavesFirstRunning)
{
    Installation first(TestTracer());
    ChildProcess one;
    ASSERT_TRUE(first.Start(one));
    HWND hwnd = one.WaitForMainWindow(15000);
    ASSERT_NE(hwnd, nullptr);

    Installation second(TestTracer());
    ChildProcess two;
    ASSERT_TRUE(second.Start(two));
    EXPECT_EQ(two.WaitForExit(15000), 0u);
    // Its configuration was still located (and loaded) before it gave way.
    std::vector<std::string> lines = second.Trace();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].rfind("ini_file = ", 0), 0u);

    EXPECT_TRUE(IsWindow(hwnd));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(one.WaitForExit(15000), 0u);
}

TEST(Startup, ExitCommandEndsTheLoopWithZero)
{
    Installation inst;
    ChildProcess child;
    ASSERT_TRUE(inst.Start(child));
    HWND hwnd = child.WaitForMainWindow(15000);
    ASSERT_NE(hwnd, nullptr);
    PostMessageW(hwnd, WM_COMMAND, 5019, 0);
    EXPECT_EQ(child.WaitForExit(15000), 0u);
}

// In-process: a thread already in the multi-threaded apartment makes
// CoInitialize fail; start-up then traces, skips the window and returns -1,
// and the configuration object is still deleted.
TEST(Startup, FailingComInitialisationExitsWithMinusOne)
{
    TempDir dir;
    std::wstring traceFile = dir.File(L"trace.txt");
    SetEnvironmentVariableW(L"MARIVANE_TRACE_FILE", traceFile.c_str());
    int code = 0;
    std::thread worker([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        code = RunApplication(GetModuleHandleW(nullptr));
        CoUninitialize();
    });
    worker.join();
    SetEnvironmentVariableW(L"MARIVANE_TRACE_FILE", nullptr);
    EXPECT_EQ(static_cast<unsigned>(code), 0xFFFFFFFFu);
    EXPECT_EQ(g_pConfig, nullptr);
    std::vector<TraceLine> lines = ReadTrace(traceFile);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Unable to initialize COM: 80010106\n");
}
