#pragma once
// A WiX source fragment with the module's file and, as Registry table rows, exactly the keys
// and values its registration writes under HKEY_CLASSES_ROOT. The rows that the other build of
// the module (32-bit or 64-bit) writes alike go in a second, 32-bit component whose code comes
// from those rows, so that side-by-side packages of both builds share it; the rest go with the
// file. A product source places both with <ComponentGroupRef Id="..."/> and a directory
// INSTALLFOLDER; the file's source path comes from the preprocessor variable ModuleSource.

#include <string>

#include "registry_tree.h"

struct WixComponent {
    std::wstring modulePath;  // where the harvested module was: its path becomes [#file id]
    bool win64 = false;       // a 64-bit component, written to the 64-bit registry view
};

// The identifier of the module's file and component, made from its file name
// ("vtlMenu.dll" stays "vtlMenu.dll"): [#identifier] names the installed file.
std::wstring WixFileId(const std::wstring& fileName);

// The fragment's text, or false with the reason when a key or value has no place in an
// installer table as wixl builds it (only string and 32-bit integer values, no value on the
// classes root itself, no control characters).
bool WixFragmentText(const RegistrySnapshot& keys, const WixComponent& component, std::wstring& text,
                     std::wstring& error);

// The text as the file stores it: UTF-8.
std::string WixFragmentBytes(const std::wstring& text);
