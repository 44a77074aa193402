// The DLL's entry point. The loader calls DllEntryPoint, which passes straight to DllMain:
// the DLL links without the C runtime's start-up code, so nothing else runs at load.

#include <windows.h>

#include "server/module_lifecycle.h"

namespace {
ModuleState moduleRecord;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        InitModule(&moduleRecord, vtlMenuClassTable, instance);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        // A non-null reserved argument means the process is ending: the DLLs that tear-down
        // would call (the automation runtime, GDI) may be gone already, and calls into them
        // under the loader lock can hang or crash the host's exit. The system takes back the
        // heaps and everything else whole. FreeLibrary (reserved null) tears down in full.
        if (!reserved) {
            TermModule(theModule);
        }
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
