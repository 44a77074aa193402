#include "extension/publisher_location.h"

#include "runtime/other_registry_view.h"
#include "runtime/unique_resource.h"

namespace {

// Reads the value in one registry view. ERROR_FILE_NOT_FOUND when the key or the value is
// not there; ERROR_INSUFFICIENT_BUFFER when the data leaves no room for a terminating zero.
LONG ReadPublisherPathIn(REGSAM view, WCHAR (&path)[kPublisherPathUnits])
{
    path[0] = 0;
    UniqueKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPublisherKey, 0, KEY_QUERY_VALUE | view, key.Put());
    if (status != ERROR_SUCCESS) {
        return status;
    }
    DWORD type = 0;
    DWORD size = sizeof(path);
    status = RegQueryValueExW(key.Get(), kPublisherValue, nullptr, &type, reinterpret_cast<BYTE*>(path),
                              &size);
    if (status != ERROR_SUCCESS) {
        path[0] = 0;
        return status;
    }
    // Registry data need not end in a zero; terminate it where there is room for one.
    DWORD units = size / sizeof(WCHAR);
    for (DWORD index = 0; index < units; ++index) {
        if (path[index] == 0) {
            return ERROR_SUCCESS;
        }
    }
    if (units >= kPublisherPathUnits) {
        path[0] = 0;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    path[units] = 0;
    return ERROR_SUCCESS;
}

}  // namespace

HRESULT ReadPublisherPath(WCHAR (&path)[kPublisherPathUnits])
{
    // A 32-bit publishing application's installer writes the value in the 32-bit view, a
    // 64-bit one in the 64-bit view: the other view is read when this one has no value.
    LONG status = ReadPublisherPathIn(0, path);
    REGSAM otherView = OtherRegistryView();
    if (status == ERROR_FILE_NOT_FOUND && otherView) {
        status = ReadPublisherPathIn(otherView, path);
    }
    return status == ERROR_SUCCESS ? S_OK : E_INVALIDARG;
}
