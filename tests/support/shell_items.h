#pragma once
// Selections as Windows 11's first-level menu hands them to a command: the shell's own item
// arrays, made by the platform from real files.

#include <shobjidl.h>

#include <string>
#include <vector>

#include "runtime/com_ptr.h"

// The item array of a folder's data object (SHCreateShellItemArrayFromDataObject), as for a
// selection in one Explorer window. Null on failure.
ComPtr<IShellItemArray> ShellItemsFromData(IDataObject* data);

// The item array of the items the shell parses from these names (full paths, or "::{CLSID}"
// for a virtual folder), in this order (SHCreateShellItemArrayFromIDLists), as for a search
// result. Null when a name cannot be parsed.
ComPtr<IShellItemArray> ShellItemsFromNames(const std::vector<std::wstring>& names);

// "This PC": an item without a file-system path.
inline constexpr const wchar_t* kComputerFolder = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

// An item array of the test's own, for what the shell here cannot produce: items whose
// file-system paths are the given texts, as they are (an empty text: an item without one; "?":
// an item that cannot be read, E_OUTOFMEMORY), of any length.
ComPtr<IShellItemArray> HandMadeShellItems(std::vector<std::wstring> paths);
