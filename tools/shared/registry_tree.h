#pragma once
// The whole content of a registry tree: every key below a root with its values, read in one
// walk. The tests compare such trees before and after an operation; vtlreg reads what a
// registration wrote and writes it out again.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct RegistryValue {
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const RegistryValue& other) const
    {
        return type == other.type && data == other.data;
    }
};

// Registry names are compared as the registry compares them: unit by unit, without regard to
// case, and not by the user's language rules, which are also many times slower on trees of the
// machine's size.
struct RegistryNameLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const
    {
        return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                    static_cast<int>(right.size()), TRUE) == CSTR_LESS_THAN;
    }
};

using RegistryValues = std::map<std::wstring, RegistryValue, RegistryNameLess>;

// Key path (relative to the root, empty for the root) -> value name -> value.
using RegistrySnapshot = std::map<std::wstring, RegistryValues, RegistryNameLess>;

// The tree at root\path; empty when the key cannot be opened. view is 0 or one of
// KEY_WOW64_64KEY and KEY_WOW64_32KEY, used at every level of the walk. `complete`, when
// given, tells an absent tree (true, and empty) from one that could not be read whole (false):
// a key below it that could not be opened, or keys or values that could not be listed.
RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path = L"", REGSAM view = 0,
                                      bool* complete = nullptr);

// "parent\child", or child alone below the root.
std::wstring JoinKeyPath(const std::wstring& parent, const std::wstring& child);

// The path of the key's parent: empty for a key right below the root (and for the root).
std::wstring ParentKeyPath(const std::wstring& path);
