#include "server/module_type_lib.h"

#include "runtime/com_ptr.h"
#include "runtime/unique_bstr.h"
#include "runtime/unique_resource.h"

namespace {

// The module path takes at most kModulePathUnits (terminator included); the rest leaves room
// for a short suffix and for ".tlb".
constexpr int kPathBufferUnits = 270;
constexpr DWORD kModulePathUnits = MAX_PATH;
constexpr int kHelpDirectoryUnits = MAX_PATH;

constexpr WCHAR kTypeLibExtension[] = L".tlb";
constexpr int kTypeLibExtensionUnits = 4;

const HRESULT kPathTooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

using UnRegisterTypeLibFunction = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);

HRESULT LastErrorResult()
{
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// Puts ".tlb" in place of the last "." of the whole path, or after its end when there is no
// ".". False, with the buffer unchanged, when the result would not fit.
bool PutTypeLibExtension(WCHAR* buffer, int capacity)
{
    WCHAR* end = buffer;
    WCHAR* lastDot = nullptr;
    while (*end) {
        if (*end == L'.') {
            lastDot = end;
        }
        end = CharNextW(end);
    }
    WCHAR* at = lastDot ? lastDot : end;
    if ((at - buffer) + kTypeLibExtensionUnits + 1 > capacity) {
        return false;
    }
    lstrcpyW(at, kTypeLibExtension);
    return true;
}

}  // namespace

HRESULT LoadModuleTypeLib(ModuleState* module, const WCHAR* suffix, BSTR* path, ITypeLib** typeLib)
{
    if (!path || !typeLib) {
        return E_POINTER;
    }
    *path = nullptr;
    *typeLib = nullptr;
    if (!module) {
        return E_INVALIDARG;
    }

    WCHAR buffer[kPathBufferUnits];
    DWORD length = GetModuleFileNameW(module->typeLibInstance, buffer, kModulePathUnits);
    if (length == 0) {
        return LastErrorResult();
    }
    // A path that filled the buffer was cut short and names some other file.
    if (length >= kModulePathUnits) {
        return kPathTooLong;
    }
    if (suffix) {
        if (static_cast<int>(length) + lstrlenW(suffix) + 1 > kPathBufferUnits) {
            return kPathTooLong;
        }
        lstrcatW(buffer, suffix);
    }

    ComPtr<ITypeLib> library;
    HRESULT result = LoadTypeLib(buffer, library.Put());
    if (FAILED(result)) {
        if (!PutTypeLibExtension(buffer, kPathBufferUnits)) {
            return kPathTooLong;
        }
        result = LoadTypeLib(buffer, library.Put());
        if (FAILED(result)) {
            return result;
        }
    }

    BSTR loadedFrom = SysAllocString(buffer);
    if (!loadedFrom) {
        return E_OUTOFMEMORY;
    }
    *path = loadedFrom;
    *typeLib = library.Detach();
    return result;
}

int FileNameIndex(const WCHAR* path)
{
    if (!path) {
        return 0;
    }
    const WCHAR* behindSeparator = path;
    const WCHAR* unit = path;
    while (*unit) {
        WCHAR first = *unit;
        unit = CharNextW(unit);
        if (first == L'\\' || first == L'/' || first == L':') {
            behindSeparator = unit;
        }
    }
    return static_cast<int>(behindSeparator - path);
}

HRESULT RegisterTypeLibWithItsFolder(ITypeLib* library, const WCHAR* path)
{
    int directoryUnits = FileNameIndex(path);
    if (directoryUnits + 1 > kHelpDirectoryUnits) {
        return kPathTooLong;
    }
    WCHAR helpDirectory[kHelpDirectoryUnits];
    CopyMemory(helpDirectory, path, directoryUnits * sizeof(WCHAR));
    helpDirectory[directoryUnits] = L'\0';

    // The platform takes the path as writable text, though it only reads it.
    return RegisterTypeLib(library, const_cast<WCHAR*>(path), helpDirectory);
}

HRESULT RegisterModuleTypeLib(ModuleState* module, const WCHAR* suffix)
{
    UniqueBstr path;
    ComPtr<ITypeLib> library;
    HRESULT result = LoadModuleTypeLib(module, suffix, path.Put(), library.Put());
    if (FAILED(result)) {
        return result;
    }
    return RegisterTypeLibWithItsFolder(library.Get(), path.Get());
}

HRESULT UnregisterModuleTypeLib(ModuleState* module, const WCHAR* suffix)
{
    return UnregisterModuleTypeLibThrough(module, suffix, L"oleaut32.dll");
}

HRESULT UnregisterModuleTypeLibThrough(ModuleState* module, const WCHAR* suffix,
                                       const WCHAR* automationLibrary)
{
    UniqueBstr path;
    ComPtr<ITypeLib> library;
    HRESULT result = LoadModuleTypeLib(module, suffix, path.Put(), library.Put());
    if (FAILED(result)) {
        return result;
    }

    TLIBATTR* attributes = nullptr;
    if (FAILED(library->GetLibAttr(&attributes))) {
        return result;
    }
    {
        // Looked up at run time: older systems' automation library has no such function.
        UniqueLibrary automation(LoadLibraryW(automationLibrary));
        if (automation) {
            auto unregister = reinterpret_cast<UnRegisterTypeLibFunction>(
                reinterpret_cast<void*>(GetProcAddress(automation.Get(), "UnRegisterTypeLib")));
            if (unregister) {
                // A registration that cannot be removed is not reported.
                (void)unregister(attributes->guid, attributes->wMajorVerNum,
                                 attributes->wMinorVerNum, attributes->lcid, attributes->syskind);
            }
        }
    }
    library->ReleaseTLibAttr(attributes);
    return result;
}
