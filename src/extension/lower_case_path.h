#pragma once

#include <windows.h>

// Folds one zero-terminated path to lower case in place: 'A' to 'Z' become 'a' to 'z', the
// other units below 256 stay, and a unit at or above 256 that IsUpperCaseUnit calls upper case
// becomes the platform's own lower-case form of that unit (a different letter never results).
void LowerCasePath(WCHAR* path);
