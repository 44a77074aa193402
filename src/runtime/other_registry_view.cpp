#include "runtime/other_registry_view.h"

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE process, PBOOL wow64);

}  // namespace

REGSAM OtherRegistryView()
{
#ifdef _WIN64
    return KEY_WOW64_32KEY;
#else
    // Looked up at run time: systems before XP SP2 lack it, and have one view only.
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        return KEY_WOW64_64KEY;
    }
    return 0;
#endif
}
