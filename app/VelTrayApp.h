#pragma once
#include "platform/Win32.h"

#include "app/VelTrayDlg.h"

// The application object: starts the business core, creates the hidden main
// dialog, runs the message loop until the dialog is destroyed and stops the
// business core on the way out.
class CVelTrayApp {
public:
    CVelTrayApp() = default;

    CVelTrayApp(const CVelTrayApp&) = delete;
    CVelTrayApp& operator=(const CVelTrayApp&) = delete;

    // FALSE ends the process.
    BOOL InitInstance(HINSTANCE instance);
    int Run();
    int ExitInstance();

    CVelTrayDlg& MainDialog() { return m_dialog; }

private:
    CVelTrayDlg m_dialog;
    int m_exitCode = 0;
};
