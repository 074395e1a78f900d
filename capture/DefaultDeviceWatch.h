// Hears from Windows when the default endpoint of a flow (the console role)
// changes: the callback comes on a thread of the system, which only notes
// the new id under a lock of this object's own and sets its event; the
// device's capture thread, which waits for the event, does the rest.
// Reference counted: Windows holds the object while it is registered.
#pragma once

#include <windows.h>
#include <mmdeviceapi.h>

class CDefaultDeviceWatch : public IMMNotificationClient {
public:
    // Registered for the default endpoint of flow; null when Windows takes
    // no notification client. The caller owns one reference.
    static CDefaultDeviceWatch* Start(EDataFlow flow);
    // Unregisters and drops the caller's reference.
    void Stop();
    // Set (auto-reset) at each change.
    HANDLE Event() const { return m_hChanged; }
    // Whether the default changed since the last call; id receives the new
    // default's id (empty when there is none).
    bool TakeChange(wchar_t* id, int size);

    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) override;
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    explicit CDefaultDeviceWatch(EDataFlow flow);
    virtual ~CDefaultDeviceWatch();

    volatile LONG m_Refs;
    EDataFlow m_Flow;
    HANDLE m_hChanged;
    IMMDeviceEnumerator* m_pEnumerator;  // while registered; the owner's thread
    // The change noted by the system's thread and taken by the capture
    // thread, under m_Lock (nothing else is taken while it is held).
    CRITICAL_SECTION m_Lock;
    bool m_bChanged;
    wchar_t m_NewId[256];
};
