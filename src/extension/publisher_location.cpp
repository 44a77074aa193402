#include "extension/publisher_location.h"

#include "runtime/unique_resource.h"

HRESULT ReadPublisherPath(WCHAR (&path)[kPublisherPathUnits])
{
    path[0] = 0;
    UniqueKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPublisherKey, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS) {
        return E_INVALIDARG;
    }
    DWORD type = 0;
    DWORD size = sizeof(path);
    if (RegQueryValueExW(key.Get(), kPublisherValue, nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS) {
        return E_INVALIDARG;
    }
    // Registry data need not end in a zero; terminate it where there is room for one.
    DWORD units = size / sizeof(WCHAR);
    for (DWORD index = 0; index < units; ++index) {
        if (path[index] == 0) {
            return S_OK;
        }
    }
    if (units >= kPublisherPathUnits) {
        return E_INVALIDARG;
    }
    path[units] = 0;
    return S_OK;
}
