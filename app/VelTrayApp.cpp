#include "platform/Win32.h"
#include "app/VelTrayApp.h"

#include "app/Startup.h"
#include "business/ZrBusinessManager.h"
#include "platform/DebugSink.h"
#include "platform/GuidText.h"

#include <commctrl.h>

BOOL CVelTrayApp::InitInstance(HINSTANCE instance)
{
    EnableDpiAwareness();

    INITCOMMONCONTROLSEX controls{sizeof(controls), 0xFF};
    ::InitCommonControlsEx(&controls);

    ZrBusinessManager::Instance().Init();

    if (g_processSessionId[0] == '\0')
        MakeGuidText(g_processSessionId);

    if (!m_dialog.Create(instance)) {
        DebugOutput(L"[VelTray] main dialog creation failed\n");
        return FALSE;
    }
    ::ShowWindow(m_dialog.GetSafeHwnd(), SW_HIDE);
    return TRUE;
}

int CVelTrayApp::Run()
{
    MSG msg;
    BOOL result;
    while ((result = ::GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (result == -1)
            break;
        HWND dialog = m_dialog.GetSafeHwnd();
        if (dialog && ::IsDialogMessageW(dialog, &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_exitCode = result == -1 ? -1 : static_cast<int>(msg.wParam);
    return m_exitCode;
}

int CVelTrayApp::ExitInstance()
{
    ZrBusinessManager::Instance().Uninit();
    DebugOutput(L"[VelTray] business core stopped\n");
    return m_exitCode;
}
