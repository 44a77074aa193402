#pragma once
// Runs a whole script text: expands its variables, then applies each root block in turn.

#include <windows.h>

#include "regscript/script_reader.h"

// In register mode a root block that fails is walked once more in unregister mode, from its
// opening brace, and the first failure is returned; blocks before it stay registered and
// nothing after it runs.
HRESULT RunScript(ScriptReader& reader, const WCHAR* text, BOOL doRegister);
