// The library's four exports, built into the DLL only: in a program that links the library
// directly these names would meet the system's own exports of the same names.

#include <objbase.h>

#include "server/module_lifecycle.h"
#include "server/server_registration.h"

STDAPI DllCanUnloadNow()
{
    return ModuleCanUnloadNow(theModule);
}

// The class factory comes with its own step; until then no class is available.
STDAPI DllGetClassObject(REFCLSID /*clsid*/, REFIID /*iid*/, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer()
{
    return RegisterServer(theModule, TRUE, nullptr);
}

STDAPI DllUnregisterServer()
{
    return UnregisterServer(theModule, TRUE, nullptr);
}
