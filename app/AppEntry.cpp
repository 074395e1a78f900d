#include "app/AppEntry.h"
#include "app/AppMain.h"
#include "config/AppParameter.h"
#include "foundation/Trace.h"
#include "foundation/TraceBinding.h"

#include <commctrl.h>
#include <new>
#include <objbase.h>

static int RunMainWindow(HINSTANCE hInstance)
{
    CAppMain app(hInstance);
    g_pApp = &app;

    INITCOMMONCONTROLSEX icc = {8, ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);

    int exitCode = 0;
    if (app.Create(hInstance)) {
        ShowWindow(app.m_hWnd, SW_HIDE);
        UpdateWindow(app.m_hWnd);
        MSG msg = {};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (app.IsInquiryMessage(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        exitCode = static_cast<int>(msg.wParam);
    }
    CoUninitialize();
    g_pApp = nullptr;
    return exitCode;
}

int RunApplication(HINSTANCE hInstance)
{
    CTraceBinding::Bind();

    if (!g_pConfig)
        g_pConfig = new (std::nothrow) CAppParameter();
    if (g_pConfig)
        g_pConfig->Initialize();

    int exitCode;
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) {
        Trace(L"Unable to initialize COM: %x\n", static_cast<unsigned>(hr));
        exitCode = -1;
    } else {
        exitCode = RunMainWindow(hInstance);
    }

    if (g_pConfig) {
        g_pConfig->OnExit();
        delete g_pConfig;
        g_pConfig = nullptr;
    }
    CTraceBinding::Unbind();
    return exitCode;
}
