#include "regscript/key_tree.h"

#include "regscript/script_reader.h"

namespace {

constexpr DWORD kSubkeyNameUnits = 256;

}  // namespace

LONG OpenKeyInto(KeyHolder& holder, HKEY parent, const WCHAR* name, REGSAM access)
{
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(parent, name, 0, access, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return holder.Replace(key);
}

LONG DeleteKeyTree(HKEY parent, const WCHAR* name)
{
    KeyHolder holder;
    LONG status = OpenKeyInto(holder, parent, name, KEY_READ | KEY_WRITE);
    if (status != ERROR_SUCCESS) {
        return status;
    }

    // Always index 0: each removed child's place is taken by the next one.
    WCHAR child[kSubkeyNameUnits];
    for (;;) {
        DWORD length = kSubkeyNameUnits;
        FILETIME written;
        if (RegEnumKeyExW(holder.Get(), 0, child, &length, nullptr, nullptr, nullptr, &written) !=
            ERROR_SUCCESS) {
            break;
        }
        status = DeleteKeyTree(holder.Get(), child);
        if (status != ERROR_SUCCESS) {
            return status;
        }
    }

    (void)holder.Close();  // the removal below tells whether the key is gone
    return RegDeleteKeyW(parent, name);
}

bool KeyHasSubkeys(HKEY key)
{
    DWORD subkeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return subkeys > 0;
}

bool KeyHasNamedValues(HKEY key)
{
    DWORD values = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (values != 1) {
        return values > 1;
    }
    WCHAR name[kTokenUnits];
    DWORD length = kTokenUnits;
    if (RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return name[0] != 0;
}
