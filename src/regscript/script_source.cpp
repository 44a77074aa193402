#include "regscript/script_source.h"

#include "regscript/replacement_map.h"
#include "regscript/script_walk.h"
#include "runtime/module_block.h"
#include "runtime/unique_resource.h"

namespace {

HRESULT LastErrorResult()
{
    DWORD error = GetLastError();
    return error == 0 ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

void DoubleApostrophes(WCHAR* destination, const WCHAR* source)
{
    for (; *source; ++source) {
        *destination++ = *source;
        if (*source == L'\'') {
            *destination++ = L'\'';
        }
    }
    *destination = 0;
}

HRESULT RunResourceScript(ScriptReader& reader, const WCHAR* path, UINT resourceId,
                          const WCHAR* resourceType, BOOL doRegister)
{
    UniqueLibrary library(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!library) {
        return LastErrorResult();
    }
    HRSRC found = FindResourceW(library.Get(), MAKEINTRESOURCEW(LOWORD(resourceId)), resourceType);
    if (!found) {
        return LastErrorResult();
    }
    HGLOBAL loaded = LoadResource(library.Get(), found);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes) {
        return LastErrorResult();
    }

    // The text ends at the first zero byte or with the resource; nothing past the resource's
    // own bytes is ever read.
    SIZE_T size = SizeofResource(library.Get(), found);
    SIZE_T length = 0;
    while (length < size && bytes[length] != 0) {
        ++length;
    }
    if (length >= static_cast<SIZE_T>(0x7FFFFFFF)) {
        return E_OUTOFMEMORY;
    }
    ModuleBlock<WCHAR> wide = ModuleBlock<WCHAR>::Allocate(length + 1);
    if (!wide) {
        return E_OUTOFMEMORY;
    }
    wide.Get()[0] = 0;
    if (length > 0) {
        // Each byte widens to at most one unit; the result is terminated explicitly.
        int units = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), wide.Get(),
                                        static_cast<int>(length));
        wide.Get()[units > 0 ? units : 0] = 0;
    }
    return RunScript(reader, wide.Get(), doRegister);
}

HRESULT ApplyRegistryResource(const ModuleState* module, UINT resourceId, BOOL doRegister,
                              const ReplacementRow* extraPairs)
{
    if (!module) {
        return E_INVALIDARG;
    }
    ReplacementMap replacements;

    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module->instance, path, MAX_PATH);
    if (length == 0) {
        HRESULT result = LastErrorResult();
        return result == S_OK ? E_FAIL : result;
    }
    if (length >= MAX_PATH) {
        // A cut path would name another file, or none.
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }

    WCHAR doubled[2 * MAX_PATH + 1];
    DoubleApostrophes(doubled, path);
    (void)replacements.Add(L"Module", doubled);  // a script that needs it fails without it
    for (const ReplacementRow* row = extraPairs; row && row->name; ++row) {
        (void)replacements.Add(row->name, row->value);
    }

    ScriptReader reader = {nullptr, &replacements};
    return RunResourceScript(reader, path, resourceId, L"REGISTRY", doRegister);
}
