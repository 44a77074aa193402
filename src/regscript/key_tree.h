#pragma once
// The registry-facing key operations of the script engine. Each returns a Win32 status
// (0 for success) or a plain answer.

#include <windows.h>

#include "regscript/key_holder.h"

// Opens parent\name into holder. On failure the holder keeps what it held; on success the
// status is that of closing the key held before (0 when there was none).
LONG OpenKeyInto(KeyHolder& holder, HKEY parent, const WCHAR* name, REGSAM access);

// Removes parent\name with everything beneath it, children before their parent. Stops at the
// first key that cannot be opened or removed and returns that status; what was removed stays
// removed.
LONG DeleteKeyTree(HKEY parent, const WCHAR* name);

bool KeyHasSubkeys(HKEY key);

// True when the key holds a value other than its unnamed default value.
bool KeyHasNamedValues(HKEY key);
