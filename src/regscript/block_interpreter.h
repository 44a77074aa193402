#pragma once
// Applies one brace block of a registry script under a parent key, registering (create keys,
// write values, replace trees marked ForceRemove, remove trees marked Delete) or unregistering
// (remove the values the block names and the keys it names that are left without subkeys,
// except where NoRemove is in force; a key the script does not name is never removed).
// Nested blocks are walked by nested calls; only the token "{" opens one.

#include <windows.h>

#include "regscript/script_reader.h"

// Deeper nesting fails with DISP_E_EXCEPTION, so that no script can exhaust the stack.
constexpr int kMaxBlockDepth = 256;

// "CLSID" and "TypeLib", any case: never removed by ForceRemove or Delete.
bool IsProtectedKeyName(const WCHAR* name);

// On entry cursor stands just after the block's "{"; token is the run's kTokenUnits buffer.
// On success token holds the block's "}" and cursor stands just after it. skip (unregister
// only) passes over the block without any registry call.
HRESULT ProcessBlock(ScriptReader& reader, WCHAR* token, HKEY parent, bool doRegister, bool skip);
