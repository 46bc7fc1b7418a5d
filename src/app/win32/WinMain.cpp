// The Windows program's entry: the application object with its own window,
// the platform services, and the dashboard's entry routine. The program takes
// no arguments; the exit code is the entry routine's (0).
#include <windows.h>

#include <exception>

#include "app/PVelastrom.h"
#include "app/win32/Win32Application.h"
#include "platform/win32/Win32Platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    try {
        velastrom::Win32Platform platform;
        velastrom::win32::Win32Application application(instance);
        const velastrom::TVelastromSettings buildSettings;
        return velastrom::VelastromNavigazione(application, platform, buildSettings);
    } catch (const std::exception& failure) {
        // Only a failure outside every event handler (the application's own
        // window cannot be made, say) comes here: shown, then the process ends.
        MessageBoxA(nullptr, velastrom::ExceptionText(failure.what()).c_str(), "", MB_ICONERROR | MB_OK);
        return 1;
    }
}
