// The library's four exports, built into the DLL only: in a program that links the library
// directly these names would meet the system's own exports of the same names.

#include <objbase.h>

#include "server/class_factory.h"
#include "server/module_lifecycle.h"
#include "server/server_registration.h"

STDAPI DllCanUnloadNow()
{
    return ModuleCanUnloadNow(theModule);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return GetClassObjectFromTable(theModule, clsid, iid, object);
}

STDAPI DllRegisterServer()
{
    return RegisterServer(theModule, TRUE, nullptr);
}

STDAPI DllUnregisterServer()
{
    return UnregisterServer(theModule, TRUE, nullptr);
}
