#pragma once
// On 64-bit Windows the module's two builds, 64-bit and 32-bit, see the redirected parts of
// the registry (HKEY_CLASSES_ROOT\CLSID, HKEY_LOCAL_MACHINE\Software, ...) in views of their
// own. This names the view of the other build.

#include <windows.h>

// KEY_WOW64_32KEY in the 64-bit build; KEY_WOW64_64KEY in the 32-bit build running on 64-bit
// Windows; 0 on 32-bit Windows, which has one view only.
REGSAM OtherRegistryView();
