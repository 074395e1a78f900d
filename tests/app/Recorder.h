// A copy of the program with a prepared configuration in its working folder,
// and the checks of what it recorded from the ramp microphone.
#pragma once

#include "app/Installation.h"
#include "config/AppParameter.h"
#include "files/RecordingFormat.h"
#include "resources/resource.h"
#include "support/ProgramFixtures.h"
#include "support/WavChecks.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

inline std::wstring Stamp(const CDateTime& t)
{
    wchar_t text[16];
    swprintf(text, 16, L"%04d%02d%02d%02d%02d", t.m_Time.wYear, t.m_Time.wMonth, t.m_Time.wDay, t.m_Time.wHour,
             t.m_Time.wMinute);
    return text;
}

// Exit as the tray menu gives it; the exit code, or STILL_ACTIVE after the timeout.
inline DWORD ExitProgram(HWND hwnd, ChildProcess& child, DWORD timeoutMs = 20000)
{
    PostMessageW(hwnd, WM_COMMAND, IDC_MENU_EXIT, 0);
    return child.WaitForExit(timeoutMs);
}

// An installation whose working folder holds a marivane.ini with these programs.
struct Recorder : Installation {
    std::wstring wavDir;
    // What Write stores beside the programs: the file format and the input.
    FileType fileFormat = kFileWav;
    std::wstring deviceName, deviceId;
    Recorder() : Installation(TestTracer())
    {
        wavDir = workDir.File(L"wav");
        CreateDirectoryW(wavDir.c_str(), nullptr);
    }
    // more: further settings.
    void Write(const std::vector<ProgramItem*>& programs, int maxMb = 1,
               const std::function<void(CAppParameter&)>& more = nullptr)
    {
        IniConfig config(workDir.File(L"marivane.ini"));
        if (more)
            more(config);
        config.m_WavFileDir.Assign(wavDir.c_str());
        config.m_Frequency = 48000;
        config.m_Channels = 2;
        config.m_WavMaxSize = maxMb;
        config.m_FileFormat = fileFormat;
        config.m_Language = 0;
        config.m_CapDeviceName.Assign(deviceName.c_str());
        config.m_CapDeviceId.Assign(deviceId.c_str());
        for (ProgramItem* p : programs)
            config.m_ProgramList.Insert(p);
        ASSERT_TRUE(config.Save());
    }
    // The programs as the running program last saved them.
    std::vector<ProgramItem> Saved()
    {
        IniConfig config(workDir.File(L"marivane.ini"));
        config.Load();
        return Items(config.m_ProgramList);
    }
    // Starts the program; its main window, or null.
    HWND Launch(ChildProcess& child) { return Start(child) ? child.WaitForMainWindow(15000) : nullptr; }
    // Runs the program until a trace line holds until, lets it go on for
    // lingerMs, then exits it as the tray menu does.
    void RunUntil(const std::string& until, DWORD timeoutMs, DWORD lingerMs)
    {
        ChildProcess child;
        HWND hwnd = Launch(child);
        ASSERT_NE(hwnd, nullptr);
        ASSERT_TRUE(WaitForTrace(until, timeoutMs));
        Sleep(lingerMs);
        EXPECT_EQ(ExitProgram(hwnd, child), 0u);
    }
    std::vector<std::wstring> Wavs()
    {
        std::vector<std::wstring> names = ListFiles(wavDir);
        std::sort(names.begin(), names.end());
        return names;
    }
    // Microseconds of the trace lines holding contains.
    std::vector<long long> TraceTimes(const std::string& contains)
    {
        std::vector<long long> times;
        for (const auto& l : ReadTrace(traceFile))
            if (l.text.find(contains) != std::string::npos)
                times.push_back(l.micros);
        return times;
    }
    int TraceCount(const std::string& contains) { return static_cast<int>(TraceTimes(contains).size()); }
    // Waits until count trace lines hold contains; false after timeoutMs.
    bool WaitForTrace(const std::string& contains, DWORD timeoutMs, int count = 1)
    {
        return WaitUntil([&] { return TraceCount(contains) >= count; }, timeoutMs, 100);
    }
};

// The files of one recording at 48000 Hz stereo: contiguous ramp, true headers; returns the frames.
inline size_t CheckRecording(const std::wstring& dir, const std::wstring& prefix, unsigned maxData)
{
    return CheckRamp(ReadRecording(dir + L"\\" + prefix, 48000, 2, maxData).pcm, 2, Narrow(prefix)).size();
}

