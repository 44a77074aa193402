#include "regscript/root_keys.h"

namespace {

struct RootKeyRow {
    const WCHAR* name;
    HKEY key;
};

// Searched in this order. HKEY_DYN_DATA stands before HKEY_CURRENT_CONFIG in both halves.
const RootKeyRow kRootKeyTable[] = {
    {L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKCU", HKEY_CURRENT_USER},
    {L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKU", HKEY_USERS},
    {L"HKPD", HKEY_PERFORMANCE_DATA},
    {L"HKDD", HKEY_DYN_DATA},
    {L"HKCC", HKEY_CURRENT_CONFIG},
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
    {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {L"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {nullptr, nullptr},
};

}  // namespace

HKEY LookupRootKey(const WCHAR* name)
{
    for (const RootKeyRow* row = kRootKeyTable; row->name; ++row) {
        if (lstrcmpiW(name, row->name) == 0) {
            return row->key;
        }
    }
    return nullptr;
}
