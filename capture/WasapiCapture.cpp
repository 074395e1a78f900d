#include "capture/WasapiCapture.h"
#include "foundation/ComPtr.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"

#include <cstring>
#include <new>
#include <propidl.h>

namespace {

// PKEY_Device_FriendlyName, declared here so no property-key library is needed.
const PROPERTYKEY kFriendlyName = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}},
                                   14};

bool CreateEnumerator(ComPtr<IMMDeviceEnumerator>& enumerator)
{
    return SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      __uuidof(IMMDeviceEnumerator), enumerator.Out()));
}

// The active endpoints of a flow, in the system's order.
bool ListEndpoints(EDataFlow flow, ComPtr<IMMDeviceCollection>& endpoints, UINT& count)
{
    count = 0;
    ComPtr<IMMDeviceEnumerator> enumerator;
    return CreateEnumerator(enumerator) &&
           SUCCEEDED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &endpoints)) &&
           SUCCEEDED(endpoints->GetCount(&count));
}

// Fills the name and id of a device record from an endpoint, the id after prefix.
void DescribeEndpoint(IMMDevice* endpoint, CaptureDeviceInfo* info, const wchar_t* prefix = L"")
{
    LPWSTR id = nullptr;
    if (SUCCEEDED(endpoint->GetId(&id)) && id) {
        FormatText(info->m_DeviceId, 256, L"%s%s", prefix, id);
        CoTaskMemFree(id);
    }
    ComPtr<IPropertyStore> properties;
    if (SUCCEEDED(endpoint->OpenPropertyStore(STGM_READ, &properties))) {
        PROPVARIANT name;
        PropVariantInit(&name);
        if (SUCCEEDED(properties->GetValue(kFriendlyName, &name)) && name.vt == VT_LPWSTR && name.pwszVal)
            lstrcpynW(info->m_Name, name.pwszVal, 256);
        PropVariantClear(&name);
    }
}

bool EndpointAt(IMMDeviceCollection* endpoints, UINT index, CaptureDeviceInfo* info, const wchar_t* prefix)
{
    ComPtr<IMMDevice> endpoint;
    ZeroMemory(info, sizeof *info);
    if (FAILED(endpoints->Item(index, &endpoint)))
        return false;
    DescribeEndpoint(endpoint.Get(), info, prefix);
    return true;
}

}  // namespace

CWasapiCapture::CWasapiCapture()
    : m_Flow(eCapture), m_StreamFlags(0), m_IdPrefix(L""), m_EndpointId(), m_Stream(), m_pClient(nullptr),
      m_pCaptureClient(nullptr), m_hEvent(nullptr), m_hFollowEvent(nullptr), m_hThread(nullptr), m_Discontinuities(0)
{
    InitializeCriticalSection(&m_DeliveryLock);
}

CWasapiCapture::~CWasapiCapture()
{
    Close();
    DeleteCriticalSection(&m_DeliveryLock);
}

void CWasapiCapture::Initialize(CSoundListener* listener)
{
    if (IsOpen())
        Release();
    m_pListener = listener;
    m_State = CaptureClosed;
    m_Format = WAVEFORMATEX();
}

bool CWasapiCapture::SetDevice(unsigned index)
{
    if (index == WAVE_MAPPER) {
        m_EndpointId[0] = L'\0';
        m_Device = index;
        return true;
    }
    ComScope com;
    ComPtr<IMMDeviceCollection> endpoints;
    UINT count = 0;
    CaptureDeviceInfo info;
    if (!ListEndpoints(m_Flow, endpoints, count) || index >= count || !EndpointAt(endpoints.Get(), index, &info, L"") ||
        !info.m_DeviceId[0])
        return false;
    lstrcpynW(m_EndpointId, info.m_DeviceId, 256);
    m_Device = index;
    return true;
}

unsigned CWasapiCapture::GetDeviceCaps(unsigned index, CaptureDeviceInfo* info)
{
    ComScope com;
    ComPtr<IMMDeviceCollection> endpoints;
    UINT count = 0;
    if (info)
        ZeroMemory(info, sizeof *info);
    if (!ListEndpoints(m_Flow, endpoints, count))
        return 0;
    if (info && index < count)
        EndpointAt(endpoints.Get(), index, info, m_IdPrefix);
    return count;
}

bool CWasapiCapture::GetDeviceInfo(CaptureDeviceInfo* info)
{
    if (!info || !IsOpen())
        return false;
    // The capture thread moves it to a new default under this lock.
    EnterCriticalSection(&m_DeliveryLock);
    *info = m_Stream;
    LeaveCriticalSection(&m_DeliveryLock);
    return true;
}

bool CWasapiCapture::DefaultEndpointId(wchar_t* id, int size, EDataFlow flow)
{
    ComScope com;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> endpoint;
    CaptureDeviceInfo info;
    if (!CreateEnumerator(enumerator) || FAILED(enumerator->GetDefaultAudioEndpoint(flow, eConsole, &endpoint)))
        return false;
    ZeroMemory(&info, sizeof info);
    DescribeEndpoint(endpoint.Get(), &info);
    lstrcpynW(id, info.m_DeviceId, size);
    return info.m_DeviceId[0] != L'\0';
}

int CWasapiCapture::MatchDevice(const CaptureDeviceInfo* devices, unsigned count, const wchar_t* name,
                                const wchar_t* id, const wchar_t** rule)
{
    // The endpoint id stays with the device across renames and reordering;
    // a name stands in for a file saved without an id, and a waveIn name is
    // the friendly name cut to its first 31 characters.
    static const wchar_t* const kRules[] = {L"its id", L"its name", L"its waveIn name"};
    size_t nameLength = name ? wcslen(name) : 0;
    for (int r = 0; r < 3; ++r) {
        if (r == 0 ? !(id && *id) : r == 1 ? nameLength == 0 : nameLength != kWaveInNameLength)
            continue;
        for (unsigned i = 0; i < count; ++i) {
            const CaptureDeviceInfo& d = devices[i];
            bool match = r == 0   ? wcscmp(d.m_DeviceId, id) == 0
                         : r == 1 ? wcscmp(d.m_Name, name) == 0
                                  : wcsncmp(d.m_Name, name, kWaveInNameLength) == 0;
            if (match) {
                if (rule)
                    *rule = kRules[r];
                return static_cast<int>(i);
            }
        }
    }
    return -1;
}

int CWasapiCapture::FindDevice(const wchar_t* name, const wchar_t* id, int flag)
{
    if (flag)
        return -1;
    ComScope com;
    ComPtr<IMMDeviceCollection> endpoints;
    UINT count = 0;
    CaptureDeviceInfo* devices = nullptr;
    if (ListEndpoints(m_Flow, endpoints, count) && count)
        devices = new (std::nothrow) CaptureDeviceInfo[count]();
    if (!devices)
        count = 0;
    for (UINT i = 0; i < count; ++i)
        EndpointAt(endpoints.Get(), i, &devices[i], m_IdPrefix);
    const wchar_t* rule = nullptr;
    int index = MatchDevice(devices, count, name, id, &rule);
    delete[] devices;
    if (index >= 0)
        Trace(L"CWasapiCapture::FindDevice: device %d by %s\n", index, rule);
    else
        Trace(L"CWasapiCapture::FindDevice: no device matches, the default device\n");
    return index;
}

bool CWasapiCapture::Open(int channels, int samplesPerSec, int bitsPerSample, int option)
{
    Trace(L"CWasapiCapture::Open(%d, %d, %d, %d)\n", channels, samplesPerSec, bitsPerSample, option);
    if (m_pClient)
        return false;
    m_Format = PcmFormat(channels, samplesPerSec, bitsPerSample);
    const wchar_t* step = L"the event";
    m_hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HRESULT hr = m_hEvent ? OpenStream(m_EndpointId, step) : HRESULT_FROM_WIN32(GetLastError());
    if (SUCCEEDED(hr)) {
        step = L"the buffers";
        hr = AllocateStaging() ? S_OK : E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        m_bStopRequested = 0;
        m_State = CaptureOpen;
        step = L"the capture thread";
        m_hThread = CreateThread(nullptr, 0, CaptureThreadProc, this, 0, nullptr);
        hr = m_hThread ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    }
    m_OpenError = hr;
    if (FAILED(hr)) {
        Trace(L"CWasapiCapture::Open: %s failed (0x%08X)\n", step, static_cast<unsigned>(hr));
        Close();
        return false;
    }
    return true;
}

HRESULT CWasapiCapture::OpenStream(const wchar_t* id, const wchar_t*& step)
{
    step = L"the device enumerator";
    HRESULT hr = E_FAIL;
    ComPtr<IMMDeviceEnumerator> enumerator;
    ComPtr<IMMDevice> endpoint;
    if (CreateEnumerator(enumerator)) {
        step = L"the endpoint";
        hr = id && *id ? enumerator->GetDevice(id, &endpoint) : enumerator->GetDefaultAudioEndpoint(m_Flow, eConsole, &endpoint);
    }
    if (SUCCEEDED(hr)) {
        ZeroMemory(&m_Stream, sizeof m_Stream);
        DescribeEndpoint(endpoint.Get(), &m_Stream);
        Trace(L"CWasapiCapture: the stream is on %s%s\n", m_StreamFlags & AUDCLNT_STREAMFLAGS_LOOPBACK ? L"what plays on " : L"",
              m_Stream.m_Name);
        step = L"Initialize";
        hr = InitializeStream(endpoint.Get());
    }
    if (SUCCEEDED(hr)) {
        step = L"the event";
        hr = m_pClient->SetEventHandle(m_hEvent);
    }
    if (SUCCEEDED(hr)) {
        // Wine accepts a loopback stream and fails here, as a system
        // without loopback capture would.
        step = L"GetService";
        hr = m_pClient->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&m_pCaptureClient));
    }
    return hr;
}

HRESULT CWasapiCapture::InitializeStream(IMMDevice* endpoint)
{
    auto activate = [&] {
        ReleaseStream();
        return endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&m_pClient));
    };
    HRESULT hr = activate();
    if (FAILED(hr))
        return hr;
    WAVEFORMATEX* mix = nullptr;
    if (FAILED(m_pClient->GetMixFormat(&mix)))
        mix = nullptr;
    DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | m_StreamFlags;
    bool fileShape = mix && mix->nSamplesPerSec == m_Format.nSamplesPerSec && mix->nChannels == m_Format.nChannels;
    if (fileShape && m_Converter.Setup(mix, m_Format)) {
        Trace(L"CWasapiCapture: the stream is opened in its mix format, its samples converted here\n");
        hr = m_pClient->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix, nullptr);
    } else {
        m_Converter.Clear();
        hr = m_pClient->Initialize(AUDCLNT_SHAREMODE_SHARED,
                                   flags | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY,
                                   kBufferDuration, 0, &m_Format, nullptr);
        if (FAILED(hr) && mix && m_Converter.Setup(mix, m_Format)) {
            Trace(L"CWasapiCapture: the engine converts no format for this stream (0x%08X): it is converted here\n",
                  static_cast<unsigned>(hr));
            hr = activate();
            if (SUCCEEDED(hr))
                hr = m_pClient->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mix, nullptr);
        }
    }
    CoTaskMemFree(mix);
    return hr;
}

// Start and Stop look at the stream under the delivery lock: a loopback's
// buffer thread replaces it there when the default output changes.
bool CWasapiCapture::Start()
{
    Trace(L"CWasapiCapture::Start()\n");
    EnterCriticalSection(&m_DeliveryLock);
    HRESULT hr = !m_pClient || m_bStopRequested ? E_FAIL : S_OK;
    if (SUCCEEDED(hr) && m_State != CaptureRunning) {
        // Whatever a stopped stream still holds belongs to the last run.
        ReadPackets(false);
        m_pClient->Reset();
        BeginTimeline();
        hr = m_pClient->Start();
        if (SUCCEEDED(hr))
            m_State = CaptureRunning;
        else
            Trace(L"CWasapiCapture::Start: failed (0x%08X)\n", static_cast<unsigned>(hr));
    }
    LeaveCriticalSection(&m_DeliveryLock);
    return SUCCEEDED(hr);
}

bool CWasapiCapture::Stop()
{
    EnterCriticalSection(&m_DeliveryLock);
    // A stream that failed to follow the default output is gone already;
    // what was staged before it still belongs to the recording.
    HRESULT hr = m_pClient ? S_OK : E_FAIL;
    if (m_State == CaptureRunning) {
        Trace(L"CWasapiCapture::Stop()\n");
        if (m_pClient)
            hr = m_pClient->Stop();
        m_State = CaptureOpen;
        // What was captured up to the stop is handed over, the last part
        // buffer included; for a quiet source, silence up to the stop.
        if (SUCCEEDED(hr))
            ReadPackets(true);
        FillQuiet(QpcNow(), true);
        DeliverStaged();
    }
    LeaveCriticalSection(&m_DeliveryLock);
    return SUCCEEDED(hr);
}

void CWasapiCapture::Close()
{
    // Closing a closed device is nothing: the owner's close and the
    // destructor may both come here.
    if (!m_pClient && !m_hThread && !m_hEvent)
        return;
    Trace(L"CWasapiCapture::Close()\n");
    Stop();
    m_State = CaptureClosed;
    EndBufferThread(&m_hThread, m_hEvent, kThreadEndMs, L"CWasapiCapture");
    ReleaseClient();
}

void CWasapiCapture::ReleaseStream()
{
    if (m_pCaptureClient)
        m_pCaptureClient->Release();
    m_pCaptureClient = nullptr;
    if (m_pClient)
        m_pClient->Release();
    m_pClient = nullptr;
}

void CWasapiCapture::ReleaseClient()
{
    ReleaseStream();
    m_Converter.Clear();
    if (m_hEvent)
        CloseHandle(m_hEvent);
    m_hEvent = nullptr;
    FreeStaging();
}

HRESULT CWasapiCapture::NextPacketSize(UINT32* frames)
{
    return m_pCaptureClient->GetNextPacketSize(frames);
}

HRESULT CWasapiCapture::ReadPackets(bool deliver)
{
    if (!m_pCaptureClient)
        return E_POINTER;
    UINT32 packet = 0;
    HRESULT hr;
    while (SUCCEEDED(hr = NextPacketSize(&packet)) && packet > 0 && !m_bStopRequested) {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        UINT64 position = 0, qpcPosition = 0;
        hr = m_pCaptureClient->GetBuffer(&data, &frames, &flags, &position, &qpcPosition);
        if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY)
            break;
        if (deliver) {
            long long qpcNow = QpcNow();
            // Without a trustworthy capture time the packet is placed by what
            // is still buffered behind it.
            UINT32 buffered = frames;
            if ((flags & AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR) || !qpcPosition) {
                qpcPosition = 0;
                UINT32 padding = 0;
                if (SUCCEEDED(m_pClient->GetCurrentPadding(&padding)) && padding > frames)
                    buffered = padding;
            }
            bool discontinuity = (flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0;
            if (discontinuity)
                InterlockedIncrement(&m_Discontinuities);
            const BYTE* samples = (flags & AUDCLNT_BUFFERFLAGS_SILENT) ? nullptr : data;
            if (m_Converter.IsActive()) {
                CMixConverter::Packet p = m_Converter.Convert(samples, frames, position, static_cast<long long>(qpcPosition));
                TakePacket(p.data, p.frames, p.position, p.qpc, discontinuity, qpcNow,
                           static_cast<unsigned>(m_Converter.ToOutput(buffered)));
            } else {
                TakePacket(samples, frames, position, static_cast<long long>(qpcPosition), discontinuity, qpcNow, buffered);
            }
        }
        m_pCaptureClient->ReleaseBuffer(frames);
    }
    return hr;
}

DWORD WINAPI CWasapiCapture::CaptureThreadProc(void* param)
{
    ComScope com;
    // MMCSS lifts the thread above ordinary work; avrt is absent on some systems.
    HANDLE task = nullptr;
    // From System32 only: never a look-alike from the program's folder.
    HMODULE avrt = LoadLibraryExW(L"avrt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    typedef HANDLE(WINAPI * SetCharacteristics)(LPCWSTR, LPDWORD);
    typedef BOOL(WINAPI * RevertCharacteristics)(HANDLE);
    SetCharacteristics set =
        avrt ? reinterpret_cast<SetCharacteristics>(reinterpret_cast<void*>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW"))) : nullptr;
    DWORD taskIndex = 0;
    if (set)
        task = set(L"Pro Audio", &taskIndex);
    if (!task)
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    static_cast<CWasapiCapture*>(param)->CaptureThread();
    RevertCharacteristics revert =
        avrt ? reinterpret_cast<RevertCharacteristics>(
                   reinterpret_cast<void*>(GetProcAddress(avrt, "AvRevertMmThreadCharacteristics")))
             : nullptr;
    if (task && revert)
        revert(task);
    if (avrt)
        FreeLibrary(avrt);
    return 0;
}

void CWasapiCapture::ReportLost(const wchar_t* why, HRESULT hr)
{
    Trace(L"CWasapiCapture: the capture device was lost (0x%08X)%s\n", static_cast<unsigned>(hr), why);
    EnterCriticalSection(&m_DeliveryLock);
    DeliverStaged();
    m_State = CaptureOpen;
    LeaveCriticalSection(&m_DeliveryLock);
    if (m_pListener)
        m_pListener->OnDeviceLost();
}

void CWasapiCapture::CaptureThread()
{
    while (m_State != CaptureClosed) {
        // The timeout lets the watchdog see a stream that stopped without an
        // error, and a quiet source place its silence.
        HANDLE events[2] = {m_hEvent, m_hFollowEvent};
        WaitForMultipleObjects(m_hFollowEvent ? 2 : 1, events, FALSE, m_bQuietByDesign ? kQuietWakeMs : 1000);
        if (m_State == CaptureClosed)
            break;
        EnterCriticalSection(&m_DeliveryLock);
        if (m_State == CaptureRunning)
            WakeUp(QpcNow());
        HRESULT hr = Follow(m_State == CaptureRunning ? ReadPackets(true) : S_OK);
        if (SUCCEEDED(hr))
            FillQuiet(QpcNow(), false);
        bool stopRequested = m_bStopRequested != 0;
        if (stopRequested && m_State == CaptureRunning && m_pClient) {
            m_pClient->Stop();
            m_State = CaptureOpen;
        }
        bool stalled = SUCCEEDED(hr) && Stalled(QpcNow());
        LeaveCriticalSection(&m_DeliveryLock);
        if (stopRequested)
            break;
        if (FAILED(hr)) {
            // An unplugged device, or the audio service gone: the stream cannot recover.
            ReportLost(L"", hr);
            break;
        }
        if (stalled) {
            ReportLost(L": no packet for 3 s", S_OK);
            break;
        }
    }
}
