#pragma once
// The names a script may give its root blocks and the predefined keys they stand for.

#include <windows.h>

// The predefined key of the first row whose name equals name without regard to case, or null.
HKEY LookupRootKey(const WCHAR* name);
