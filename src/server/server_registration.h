#pragma once
// Registration and unregistration of the module's classes, their component categories and the
// module's type library, as the registration exports run them.

#include <windows.h>

#include "runtime/module_state.h"
#include "server/class_object_entry.h"

// Walks the module's class table: with a CLSID, the one row of that CLSID; without, every row
// whose description is null. Each row's registry entries and then its categories are
// registered; the first failure is returned at once, leaving later rows and the type library
// unregistered. Last the type library is registered when asked, and its result returned;
// when that fails, the rows' registrations are undone by the unregister walk before the
// failure is returned (no type library is unregistered).
HRESULT RegisterServer(ModuleState* module, BOOL registerTypeLib, const CLSID* clsid);

// The same walk in unregister mode; every failure is ignored and the result is S_OK. On
// 64-bit Windows, while the module's other build still has a class registered, the keys the
// two registry views share are left to it (see other_build_registration.h).
HRESULT UnregisterServer(ModuleState* module, BOOL unregisterTypeLib, const CLSID* clsid);

// Registers (or removes) each category of the list through the platform's component
// categories manager. A null list does nothing; a manager that cannot be created counts as
// success. When registering, the first failure is returned; when removing, none is.
HRESULT RegisterClassCategories(const CLSID& clsid, const CategoryEntry* categories, BOOL doRegister);
