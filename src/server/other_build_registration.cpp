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

// The default value of HKEY_CLASSES_ROOT\path in one view, as text. False when it is
// missing, empty, not text, or does not fit.
bool ReadDefaultText(const WCHAR* path, REGSAM view, WCHAR* text, DWORD units)
{
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE | view, key.Put()) != ERROR_SUCCESS) {
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

// Whether a view flag on HKEY_CLASSES_ROOT reaches the key it maps to now. Where the process
// has mapped it elsewhere (as a per-user installation does), the platform may take a flagged
// opening past that root to the machine's own classes: CLSID opened with this build's own view
// named is then another key than CLSID opened plainly (told by its counts and write time).
bool ViewFlagsReachTheMappedRoot(REGSAM otherView)
{
    REGSAM ownView = otherView == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    UniqueKey mapped;
    UniqueKey flagged;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, mapped.Put()) != ERROR_SUCCESS ||
        RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ | ownView, flagged.Put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD subkeys[2] = {};
    DWORD values[2] = {};
    FILETIME written[2] = {};
    const HKEY keys[2] = {mapped.Get(), flagged.Get()};
    for (int index = 0; index < 2; ++index) {
        if (RegQueryInfoKeyW(keys[index], nullptr, nullptr, nullptr, &subkeys[index], nullptr, nullptr,
                             &values[index], nullptr, nullptr, nullptr, &written[index]) != ERROR_SUCCESS) {
            return false;
        }
    }
    return subkeys[0] == subkeys[1] && values[0] == values[1] &&
           CompareFileTime(&written[0], &written[1]) == 0;
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
    if (!otherView || !ViewFlagsReachTheMappedRoot(otherView)) {
        return false;
    }
    WCHAR server[kKeyPathUnits];
    ClassKeyPath(clsid, server);
    lstrcatW(server, L"\\InprocServer32");
    WCHAR theirs[MAX_PATH];
    if (!ReadDefaultText(server, otherView, theirs, MAX_PATH)) {
        return false;
    }
    // A root without views (a scratch or per-user key HKEY_CLASSES_ROOT is mapped to) opens
    // the same key in both: the server named there is then this build's own registration.
    WCHAR ours[MAX_PATH];
    return !ReadDefaultText(server, 0, ours, MAX_PATH) || lstrcmpiW(theirs, ours) != 0;
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
    // Read where HKEY_CLASSES_ROOT maps to: the platform registers a library for both views.
    WCHAR path[MAX_PATH];
    if (!ReadDefaultText(key, 0, path, MAX_PATH)) {
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
