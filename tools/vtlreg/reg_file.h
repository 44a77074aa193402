#pragma once
// The platform's registry export format, the text that regedit and "reg import" read:
// "Windows Registry Editor Version 5.00", then one [key] block per key with its values,
// stored as UTF-16LE with a byte order mark.

#include <string>

#include "registry_tree.h"

// Where a harvest names the module's own path, and what to write there instead. With an empty
// modulePath the values are written as they stand.
struct ModulePathReplacement {
    std::wstring modulePath;
    std::wstring path;    // written for the module's path
    std::wstring folder;  // written for the module's folder (with its trailing separator)
};

// The file's text for the keys, each named below rootName (e.g. "HKEY_CLASSES_ROOT").
std::wstring RegFileText(const RegistrySnapshot& keys, const std::wstring& rootName,
                         const ModulePathReplacement& replacement = {});

// The text as the file stores it: a byte order mark and UTF-16LE.
std::string RegFileBytes(const std::wstring& text);
