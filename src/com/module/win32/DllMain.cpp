#include <windows.h>

#include "com/ModuleClasses.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        // The driver keeps no per-thread state.
        DisableThreadLibraryCalls(instance);
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExA(&version);
#pragma GCC diagnostic pop
        com::moduleAttach(true);
    } else if (reason == DLL_PROCESS_DETACH) {
        com::moduleAttach(false);
    }
    return TRUE;
}
