// Start-up and shut-down of the real executable: trace binding, the
// configuration's location and exit codes.
#include "app/AppEntry.h"
#include "app/Installation.h"
#include "config/AppParameter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <thread>

// The debug library beside the program is bound by its export, one in the
// current folder is never loaded; the configuration in the current folder
// wins over the application folder's; nothing is written at exit.
TEST(Startup, TraceBindingAndTheConfigurationsPlace)
{
    const std::string ini = "<?xml version=\"1.0\" ?>\r\n<config><language>0</language>\r\n</config>\r\n";
    enum Library { kNoLibrary, kTestLibrary, kNoExportLibrary, kLibraryInCurrentFolder };
    for (int library = kNoLibrary; library <= kLibraryInCurrentFolder; ++library) {
        for (bool iniHere : {false, true}) {
            SCOPED_TRACE(testing::Message() << "library " << library << ", ini here " << iniHere);
            Installation inst(library == kTestLibrary ? TestTracer() : library == kNoExportLibrary ? NoExportTracer() : std::wstring());
            if (library == kLibraryInCurrentFolder) {
                ASSERT_TRUE(CopyFileW(TestTracer().c_str(), inst.workDir.File(kTracer).c_str(), FALSE));
            }
            if (iniHere) {
                ASSERT_TRUE(WriteBytes(inst.workDir.File(L"marivane.ini"), ini));
            }
            ChildProcess child;
            EXPECT_EQ(inst.RunAndClose(child), 0u);
            EXPECT_EQ(Exists(inst.traceFile), library == kTestLibrary);
            if (library == kNoExportLibrary) {
                EXPECT_EQ(ReadBytes(inst.traceFile + L".dll"), "loaded\nunloaded\n");
            }
            if (library == kTestLibrary) {
                std::vector<TraceLine> lines = ReadTrace(inst.traceFile);
                ASSERT_GE(lines.size(), 3u);
                EXPECT_EQ(lines[0].text, "app_path     = " + Narrow(inst.appDir.Path()) + "\n");
                EXPECT_EQ(lines[1].text, "current_path = " + Narrow(inst.workDir.Path()) + "\n");
                std::wstring file = (iniHere ? inst.workDir : inst.appDir).File(L"marivane.ini");
                EXPECT_EQ(lines[2].text, "ini_file = " + Narrow(file) + "\n");
            }
            EXPECT_EQ(ReadBytes(inst.workDir.File(L"marivane.ini")), iniHere ? ini : "");
            EXPECT_FALSE(Exists(inst.appDir.File(L"marivane.ini")));
        }
    }
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
