#pragma once
// A dropped-file list as the shell renders one for CF_HDROP: a DROPFILES header, then the
// wide paths, each ended by a zero, and one more zero at the end.

#include <windows.h>

#include <string>
#include <vector>

// New movable global memory holding the list, or null when it cannot be allocated.
HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths);
