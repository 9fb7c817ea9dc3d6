#include "platform/Win32.h"

#include "app/VelTrayApp.h"

namespace {
// Static, as the framework's application object would be.
CVelTrayApp theApp;
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    if (!theApp.InitInstance(instance))
        return theApp.ExitInstance();
    theApp.Run();
    return theApp.ExitInstance();
}
