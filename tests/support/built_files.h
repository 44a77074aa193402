#pragma once
// Paths of built files that CTest hands to a test program through the environment.

#include <string>

// The Windows form of the Unix path in the named environment variable (through drive Z:,
// which the prefix maps to the Unix root), or an empty string when it is not set.
std::wstring WindowsPathFromEnvironment(const char* variable);

// The DLL built in this tree (VTL_DLL).
std::wstring BuiltDllPath();

// The folder that holds the running program, with a trailing backslash.
std::wstring ProgramFolder();
