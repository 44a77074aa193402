#include "registry_probe.h"

#include <objbase.h>

bool RegistryKeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring RegistryString(HKEY root, const std::wstring& path, const wchar_t* name)
{
    wchar_t value[1024];
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, &type, value, &size) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    return value;
}

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}
