// The library's four exports, built into the DLL only: in a program that links the library
// directly these names would meet the system's own exports of the same names.

#include <objbase.h>

#include "server/module_lifecycle.h"

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

// Registration comes with its own step.
STDAPI DllRegisterServer()
{
    return E_NOTIMPL;
}

STDAPI DllUnregisterServer()
{
    return E_NOTIMPL;
}
