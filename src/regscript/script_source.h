#pragma once
// The entry of the registry script engine: a REGISTRY resource of the module's own file, run
// with the "Module" variable set to that file's path.

#include <windows.h>

#include "regscript/script_reader.h"
#include "runtime/module_state.h"

// One extra variable for ApplyRegistryResource; an array of them ends with a null name.
struct ReplacementRow {
    const WCHAR* name;
    const WCHAR* value;
};

// Runs REGISTRY resource resourceId (low 16 bits) of the file module->instance was loaded from,
// registering when doRegister is non-zero. "Module" is the file's full path with every
// apostrophe doubled, so that it can stand inside a quoted token; extraPairs, copied as they
// are, follow it.
HRESULT ApplyRegistryResource(const ModuleState* module, UINT resourceId, BOOL doRegister,
                              const ReplacementRow* extraPairs);

// Loads the resource from path as a data file and runs its text, up to its first zero byte,
// widened from the ANSI code page.
HRESULT RunResourceScript(ScriptReader& reader, const WCHAR* path, UINT resourceId,
                          const WCHAR* resourceType, BOOL doRegister);

// Copies source with every apostrophe written twice; destination holds 2 * length + 1 units.
void DoubleApostrophes(WCHAR* destination, const WCHAR* source);
