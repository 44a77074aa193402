// The DLL's entry point. The loader calls DllEntryPoint, which passes straight to DllMain:
// the DLL links without the C runtime's start-up code, so nothing else runs at load.

#include <windows.h>

#include "server/module_lifecycle.h"

namespace {
ModuleState moduleRecord;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        InitModule(&moduleRecord, vtlMenuClassTable, instance);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        TermModule(theModule);
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return DllMain(instance, reason, reserved);
}
