#include "extension/lower_case_path.h"

#include "extension/case_folding.h"

namespace {

// The locale-independent mapping, so that the same path folds the same way for every user.
WCHAR PlatformLowerCase(WCHAR unit)
{
    WCHAR lower = unit;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, &unit, 1, &lower, 1) != 1) {
        return unit;
    }
    return lower;
}

}  // namespace

void LowerCasePath(WCHAR* path)
{
    for (WCHAR* unit = path; *unit; ++unit) {
        if (!IsUpperCaseUnit(*unit)) {
            continue;
        }
        *unit = *unit < 256 ? static_cast<WCHAR>(*unit + 0x20) : PlatformLowerCase(*unit);
    }
}
