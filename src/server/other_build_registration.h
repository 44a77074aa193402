#pragma once
// Unregistering one build of the module on 64-bit Windows while the other build stays
// registered. Both builds apply the same script: each one's class key lands in its own
// registry view, but the ProgIDs and the handler key under "*" are keys both views share, and
// the platform's type library registration writes the interface keys and the library's help
// folder for both builds alike. So what is shared stays while the other build still has the
// class, and the other build's type library registration is made again once ours is gone.

#include <windows.h>

#include "runtime/module_state.h"
#include "server/class_object_entry.h"

// True when the other build of the module has the class registered in its registry view of
// the machine's classes (HKEY_LOCAL_MACHINE\Software\Classes, never the user's classes that
// HKEY_CLASSES_ROOT merges in), wherever HKEY_CLASSES_ROOT is mapped. Always false on 32-bit
// Windows.
bool OtherBuildHasClass(const CLSID& clsid);

// Unregisters one class row. While the other build has the row's class registered, only this
// build's own class key goes, with everything beneath it; otherwise the row's registry
// entries are unregistered as the row does it. The result is that of the one or the other.
HRESULT UnregisterClassRow(const ClassObjectEntry& row);

// Registers the other build's type library again, from the path its registration in the
// machine's classes names (the module's library identifier, version and locale, the other
// system kind), so that what the two registrations share is as the other build left it. S_FALSE when the other build has
// no such registration, or its file holds some other library.
HRESULT RestoreOtherBuildTypeLib(ModuleState* module);
