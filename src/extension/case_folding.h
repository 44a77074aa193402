#pragma once
// The character routines the image name test and the lower-casing before launch rest on.

#include <windows.h>

// Upper case: 'A' to 'Z' below 256 (a fixed table, whatever the locale); the platform's own
// classification at or above 256; never 0xFFFF.
bool IsUpperCaseUnit(WCHAR unit);

// Compares the first count units of text and pattern after folding both the same way (an
// upper-case unit stays, every other unit moves down by 0x20), so that a lower-case ASCII
// letter meets its capital. 0 when equal, or when both end together before count.
int CompareFolded(const WCHAR* text, const WCHAR* pattern, int count);

namespace case_folding_detail {
// The two platform classifications of a unit at or above 256; IsUpperCaseUnit settles on one
// of them the first time it needs one.
bool UpperByWideType(WCHAR unit);
bool UpperByAnsiType(WCHAR unit);
}  // namespace case_folding_detail
