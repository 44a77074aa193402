#pragma once
// Reading the registry in tests: whether a key is there and what a string value holds.

#include <windows.h>

#include <string>

bool RegistryKeyExists(HKEY root, const std::wstring& path);

// The string value `name` (null: the default value) of the key, or "<missing>".
std::wstring RegistryString(HKEY root, const std::wstring& path, const wchar_t* name = nullptr);

// The text form of a GUID, with braces, as the registry names keys.
std::wstring GuidText(const GUID& guid);
