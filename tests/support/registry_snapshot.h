#pragma once
// The whole content of a registry tree, for comparing it before and after an operation.

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

// Registry names are compared without regard to case, as the registry compares them.
struct RegistryNameLess {
    bool operator()(const std::wstring& left, const std::wstring& right) const
    {
        return lstrcmpiW(left.c_str(), right.c_str()) < 0;
    }
};

// Key path (relative to the root, empty for the root) -> value name -> value.
using RegistrySnapshot =
    std::map<std::wstring, std::map<std::wstring, RegistryValue, RegistryNameLess>, RegistryNameLess>;

// view: 0 for this program's registry view, or KEY_WOW64_32KEY / KEY_WOW64_64KEY.
RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path = L"", REGSAM view = 0);

// Human-readable lines for every key and value that differs ("+ key", "- key",
// "~ key\value"), at most `limit` of them.
std::vector<std::string> RegistryDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after, size_t limit = 40);

// The keys present in `after` and not in `before`.
std::vector<std::wstring> AddedKeys(const RegistrySnapshot& before, const RegistrySnapshot& after);
