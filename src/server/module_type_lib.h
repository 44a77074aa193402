#pragma once
// The type library the module carries: TYPELIB resource 1 of the module's own file (the file
// of typeLibInstance), or a ".tlb" file of the same name beside it. Loaded, registered and
// unregistered on the caller's thread; nothing is kept between calls.

#include <windows.h>
#include <oleauto.h>

#include "runtime/module_state.h"

// Loads the library from the module's path with `suffix` (may be null) appended; when that
// fails, from the path with ".tlb" put in place of its last "." (of the whole path, folders
// included), or appended when it has none. On success the caller owns both outputs (the path
// that loaded and the library); on failure both are null. Paths that would not fit the
// working buffers fail with HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE); a module whose
// file name cannot be read fails with that error instead of trying a made-up path.
HRESULT LoadModuleTypeLib(ModuleState* module, const WCHAR* suffix, BSTR* path, ITypeLib** typeLib);

// The number of UTF-16 units in front of the path's file-name part: the position behind the
// last "\", "/" or ":"; 0 when there is none.
int FileNameIndex(const WCHAR* path);

// Registers the library under the path that loaded, with the path's folder as help folder.
HRESULT RegisterModuleTypeLib(ModuleState* module, const WCHAR* suffix);

// Registers a loaded library under path, with the path's folder as help folder.
HRESULT RegisterTypeLibWithItsFolder(ITypeLib* library, const WCHAR* path);

// Removes the registration matching the library's own attributes (LIBID, version, locale,
// system kind), whatever path it was registered with. The result is that of the load: a
// missing unregistration function or a failure to remove is not reported.
HRESULT UnregisterModuleTypeLib(ModuleState* module, const WCHAR* suffix);

// As UnregisterModuleTypeLib, looking the unregistration function up in the named library
// instead of the platform's automation library (for tests of a system that lacks it).
HRESULT UnregisterModuleTypeLibThrough(ModuleState* module, const WCHAR* suffix,
                                       const WCHAR* automationLibrary);
