#pragma once
// Writes one value from a value clause: a type letter and a value token.

#include <windows.h>
#include <oleauto.h>

#include "regscript/script_reader.h"

// The automation type of the type letter ("S" VT_BSTR, "D" VT_UI4, "B" VT_UI1, any case, whole
// token), or VT_EMPTY when the letter names no type.
VARTYPE LookupValueType(const WCHAR* letter);

// "0"-"9", "A"-"F" and "a"-"f" give 0 to 15; every other character gives 0.
BYTE HexDigitValue(WCHAR character);

// On entry token holds "=" and cursor stands on the type letter; the value is written on key
// under valueName (null: the key's default value). On success token holds the token after the
// clause. A status the registry returns for the write itself is not reported.
HRESULT WriteValue(ScriptReader& reader, HKEY key, const WCHAR* valueName, WCHAR* token);
