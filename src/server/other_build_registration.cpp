#include "server/other_build_registration.h"

#include <oleauto.h>

#include "regscript/key_tree.h"
#include "runtime/com_ptr.h"
#include "runtime/other_registry_view.h"
#include "runtime/unique_bstr.h"
#include "runtime/unique_resource.h"
#include "server/module_type_lib.h"

namespace {

constexpr int kGuidUnits = 39;  // braces, 36 units and the terminating zero
constexpr int kKeyPathUnits = 128;

#ifdef _WIN64
constexpr SYSKIND kOtherSystemKind = SYS_WIN32;
constexpr const WCHAR* kOtherPlatform = L"win32";
#else
constexpr SYSKIND kOtherSystemKind = SYS_WIN64;
constexpr const WCHAR* kOtherPlatform = L"win64";
#endif

// "CLSID\{...}"
void ClassKeyPath(const CLSID& clsid, WCHAR (&path)[kKeyPathUnits])
{
    lstrcpyW(path, L"CLSID\\");
    StringFromGUID2(clsid, path + lstrlenW(path), kGuidUnits);
}

// The default value of a key of the machine's classes (HKEY_LOCAL_MACHINE\Software\Classes
// \path) in one registry view, as text. False when it is missing, empty, not text, or does not
// fit. The machine's classes alone are read: HKEY_CLASSES_ROOT merges in the user's classes,
// which any program of the user can write, and an elevated unregistration must not register
// machine-wide what such a program planted there.
bool ReadMachineDefaultText(const WCHAR* path, REGSAM view, WCHAR* text, DWORD units)
{
    WCHAR machinePath[kKeyPathUnits + 24] = L"Software\\Classes\\";
    lstrcatW(machinePath, path);
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, machinePath, 0, KEY_QUERY_VALUE | view, key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD size = (units - 1) * sizeof(WCHAR);  // room kept for a zero the data may lack
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    text[size / sizeof(WCHAR)] = 0;
    return text[0] != 0;
}

// The library's attributes, copied out.
HRESULT LibraryAttributes(ITypeLib* library, TLIBATTR& copy)
{
    TLIBATTR* attributes = nullptr;
    HRESULT result = library->GetLibAttr(&attributes);
    if (FAILED(result)) {
        return result;
    }
    copy = *attributes;
    library->ReleaseTLibAttr(attributes);
    return S_OK;
}

}  // namespace

bool OtherBuildHasClass(const CLSID& clsid)
{
    REGSAM otherView = OtherRegistryView();
    if (!otherView) {
        return false;
    }
    WCHAR server[kKeyPathUnits];
    ClassKeyPath(clsid, server);
    lstrcatW(server, L"\\InprocServer32");
    WCHAR theirs[MAX_PATH];
    return ReadMachineDefaultText(server, otherView, theirs, MAX_PATH);
}

HRESULT UnregisterClassRow(const ClassObjectEntry& row)
{
    if (!OtherBuildHasClass(*row.clsid)) {
        return row.updateRegistry(FALSE);
    }
    WCHAR classKey[kKeyPathUnits];
    ClassKeyPath(*row.clsid, classKey);
    LONG status = DeleteKeyTree(HKEY_CLASSES_ROOT, classKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT RestoreOtherBuildTypeLib(ModuleState* module)
{
    if (!OtherRegistryView()) {
        return S_FALSE;
    }
    TLIBATTR own = {};
    {
        UniqueBstr ownPath;
        ComPtr<ITypeLib> library;
        HRESULT result = LoadModuleTypeLib(module, nullptr, ownPath.Put(), library.Put());
        if (SUCCEEDED(result)) {
            result = LibraryAttributes(library.Get(), own);
        }
        if (FAILED(result)) {
            return result;
        }
    }

    // TypeLib\{library}\<major>.<minor>\<locale>\<platform>, numbers in hexadecimal, as the
    // platform names its registration.
    WCHAR key[kKeyPathUnits] = L"TypeLib\\";
    StringFromGUID2(own.guid, key + lstrlenW(key), kGuidUnits);
    wsprintfW(key + lstrlenW(key), L"\\%x.%x\\%lx\\%s", own.wMajorVerNum, own.wMinorVerNum,
              static_cast<unsigned long>(own.lcid), kOtherPlatform);
    WCHAR path[MAX_PATH];
    if (!ReadMachineDefaultText(key, OtherRegistryView(), path, MAX_PATH)) {
        return S_FALSE;
    }

    ComPtr<ITypeLib> theirs;
    HRESULT result = LoadTypeLibEx(path, REGKIND_NONE, theirs.Put());
    if (FAILED(result)) {
        return result;
    }
    TLIBATTR other = {};
    result = LibraryAttributes(theirs.Get(), other);
    if (FAILED(result)) {
        return result;
    }
    if (!IsEqualGUID(other.guid, own.guid) || other.wMajorVerNum != own.wMajorVerNum ||
        other.wMinorVerNum != own.wMinorVerNum || other.lcid != own.lcid ||
        other.syskind != kOtherSystemKind) {
        return S_FALSE;
    }
    return RegisterTypeLibWithItsFolder(theirs.Get(), path);
}
