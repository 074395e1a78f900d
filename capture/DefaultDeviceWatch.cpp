#include "capture/DefaultDeviceWatch.h"
#include "foundation/Trace.h"

#include <new>

CDefaultDeviceWatch::CDefaultDeviceWatch(EDataFlow flow)
    : m_Refs(1), m_Flow(flow), m_hChanged(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_pEnumerator(nullptr),
      m_bChanged(false), m_NewId()
{
    InitializeCriticalSection(&m_Lock);
}

CDefaultDeviceWatch::~CDefaultDeviceWatch()
{
    if (m_hChanged)
        CloseHandle(m_hChanged);
    DeleteCriticalSection(&m_Lock);
}

CDefaultDeviceWatch* CDefaultDeviceWatch::Start(EDataFlow flow)
{
    CDefaultDeviceWatch* watch = new (std::nothrow) CDefaultDeviceWatch(flow);
    if (!watch)
        return nullptr;
    HRESULT hr = watch->m_hChanged ? CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                                      __uuidof(IMMDeviceEnumerator),
                                                      reinterpret_cast<void**>(&watch->m_pEnumerator))
                                   : E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = watch->m_pEnumerator->RegisterEndpointNotificationCallback(watch);
    if (FAILED(hr)) {
        Trace(L"CDefaultDeviceWatch: the default device cannot be followed (0x%08X)\n", static_cast<unsigned>(hr));
        watch->Stop();
        return nullptr;
    }
    return watch;
}

void CDefaultDeviceWatch::Stop()
{
    if (m_pEnumerator) {
        m_pEnumerator->UnregisterEndpointNotificationCallback(this);
        m_pEnumerator->Release();
        m_pEnumerator = nullptr;
    }
    Release();
}

bool CDefaultDeviceWatch::TakeChange(wchar_t* id, int size)
{
    EnterCriticalSection(&m_Lock);
    bool changed = m_bChanged;
    m_bChanged = false;
    if (changed)
        lstrcpynW(id, m_NewId, size);
    LeaveCriticalSection(&m_Lock);
    return changed;
}

ULONG CDefaultDeviceWatch::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_Refs));
}

ULONG CDefaultDeviceWatch::Release()
{
    LONG refs = InterlockedDecrement(&m_Refs);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

HRESULT CDefaultDeviceWatch::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IMMNotificationClient))) {
        *object = static_cast<IMMNotificationClient*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CDefaultDeviceWatch::OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id)
{
    if (flow != m_Flow || role != eConsole)
        return S_OK;
    EnterCriticalSection(&m_Lock);
    lstrcpynW(m_NewId, id ? id : L"", 256);
    m_bChanged = true;
    LeaveCriticalSection(&m_Lock);
    SetEvent(m_hChanged);
    return S_OK;
}
