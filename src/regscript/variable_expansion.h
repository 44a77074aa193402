#pragma once
// Replaces every %NAME% of a script with its value from the run's replacement map; "%%"
// stands for one "%". The whole text is expanded before any token is read, so variables work
// inside quoted tokens as well as anywhere else.

#include <windows.h>

#include "regscript/script_reader.h"

// Longest variable name, in units.
constexpr int kMaxVariableNameLength = 31;

// On success *expanded is a new zero-terminated text from the COM task allocator, owned by
// the caller; on failure it is null. E_OUTOFMEMORY when the buffer cannot be had or grown;
// DISP_E_EXCEPTION for a "%" without its closing "%" or a name the map lacks; E_FAIL for a
// name longer than kMaxVariableNameLength units.
HRESULT ExpandVariables(ScriptReader& reader, const WCHAR* text, WCHAR** expanded);
