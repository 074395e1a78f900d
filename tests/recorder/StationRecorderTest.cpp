// A station's programs as the audio thread asks for them, its requests
// racing the readers' frames on their own threads, against the test station
// (tests/stream/station.py, started by run-stream-tests.sh).
#include "capture/BaseCapture.h"
#include "recorder/StationRecorder.h"
#include "support/Decoders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <cstdlib>

// Forty rounds of set-ups, starts, programs back to back, another station
// set up beside the one recording, stops moved, and closes at random
// moments, now or at a stop: every close is carried out within its wait,
// the recorder ends with all its readers, and every file plays cleanly.
TEST(StationRecorder, RequestsRacingTheReadersNeverHangOrDamageAFile)
{
    STATION_PORT_OR_SKIP(port, L"MARIVANE_STATION_PORT");
    const std::wstring stations[] = {L"http://127.0.0.1:" + port + L"/mp3", L"http://127.0.0.1:" + port + L"/aac"};
    TempDir dir;
    CRITICAL_SECTION cut;
    InitializeCriticalSection(&cut);
    srand(7);
    {
        CWaveWriter writer;
        CStationRecorder recorder(&cut, nullptr);
        RecordingParameters program;
        program.m_MaxFileSize = 100u << 20;
        for (int round = 0; round < 40; ++round) {
            SCOPED_TRACE(round);
            recorder.Connect(stations[round % 2].c_str());
            if (round % 3 == 0)
                recorder.Connect(stations[1 - round % 2].c_str());  // the next program's, beside it
            lstrcpynW(program.m_Source, stations[round % 2].c_str(), RecordingParameters::kSourceSize);
            lstrcpynW(program.m_Prefix, dir.File(L"p" + std::to_wstring(round)).c_str(), kFilePrefixSize);
            program.m_StartAt = CBaseCapture::Now();
            long long stop = program.m_StopAt = program.m_StartAt + (rand() % 20 + 1) * 1000000LL;
            recorder.Start(program, &writer);
            if (round % 4 == 1) {  // the next of the station, back to back
                lstrcpynW(program.m_Prefix, dir.File(L"q" + std::to_wstring(round)).c_str(), kFilePrefixSize);
                program.m_StartAt = stop;
                program.m_StopAt = stop + 10000000LL;
                recorder.Start(program, &writer);
            }
            if (round % 5 == 2)
                recorder.StopAt(stop + 5000000LL);
            Sleep(static_cast<DWORD>(rand() % 1500));
            EXPECT_TRUE(recorder.Close(round % 2 ? 0 : stop)) << "carried out within its wait";
        }
        EXPECT_TRUE(writer.Drain(10000));
    }
    DeleteCriticalSection(&cut);
    size_t files = 0;
    for (const std::wstring& name : ListFiles(dir.Path())) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, L".cue") == 0)
            continue;
        ++files;
        ToolRun decoded = RunTool("ffmpeg -v error -i " + UnixArg(dir.File(name)) + " -f null - 2>&1");
        EXPECT_TRUE(decoded.exitCode == 0 && decoded.output.empty()) << Narrow(name) << decoded.output;
    }
    // A program closed before its reader's first burst settled has none (told, and no file).
    EXPECT_GE(files, 5u);
}
