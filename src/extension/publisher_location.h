#pragma once
// Where the publishing application is installed: "ExePath" under HKEY_LOCAL_MACHINE
// "Software\CorvalineVTL\VTL100", read afresh at every launch.

#include <windows.h>

inline constexpr const WCHAR* kPublisherKey = L"Software\\CorvalineVTL\\VTL100";
inline constexpr const WCHAR* kPublisherValue = L"ExePath";
constexpr UINT32 kPublisherPathUnits = 256;

// Reads the value into path as a terminated text, from this build's registry view or, when
// the value is absent there, from the other build's view on 64-bit Windows (the same checks
// apply to either). The key is opened for reading only, so that users without administrator
// rights can launch too. E_INVALIDARG when the key or value is missing, the data is longer
// than the buffer, or it fills the buffer with no room for a terminating zero. The value's
// type is not examined.
HRESULT ReadPublisherPath(WCHAR (&path)[kPublisherPathUnits]);
