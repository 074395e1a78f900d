// The least a recorder can do, as the CPU benchmark's peer under the same
// Wine: the default capture device in shared mode, event driven, 48 kHz
// stereo, every packet appended to a raw file, for the given seconds.
//   minimal-capture.exe SECONDS FILE
#include <windows.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <cstdio>
#include <cstdlib>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioCaptureClient* capture = nullptr;
    WAVEFORMATEX format = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator))) ||
        FAILED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device)) ||
        FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client))) ||
        FAILED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, 20000000, 0, &format, nullptr)) ||
        FAILED(client->SetEventHandle(event)) ||
        FAILED(client->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&capture)))) {
        fprintf(stderr, "minimal-capture: the device could not be opened\n");
        return 1;
    }
    HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    client->Start();
    for (DWORD end = GetTickCount() + static_cast<DWORD>(_wtoi(argv[1])) * 1000; GetTickCount() < end;) {
        WaitForSingleObject(event, 1000);
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD written = 0, bufferFlags = 0;
        while (SUCCEEDED(capture->GetBuffer(&data, &frames, &bufferFlags, nullptr, nullptr)) && frames > 0) {
            WriteFile(file, data, frames * 4, &written, nullptr);
            capture->ReleaseBuffer(frames);
        }
    }
    client->Stop();
    CloseHandle(file);
    return 0;
}
