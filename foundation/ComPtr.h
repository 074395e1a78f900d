// Owns one reference to a COM interface and releases it when it goes.
#pragma once

#include <objbase.h>
#include <unknwn.h>

template <class T>
class ComPtr {
public:
    ComPtr() : m_p(nullptr) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    void Reset()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    // For the out-parameter of a call that hands over a new reference.
    T** operator&()
    {
        Reset();
        return &m_p;
    }
    void** Out() { return reinterpret_cast<void**>(&*this); }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p;
};

// Joins the calling thread to the multithreaded apartment for a scope; a
// thread already in an apartment of its own keeps it, and COM still works.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};
