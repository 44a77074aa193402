// vtlload <dll>: loads the DLL as the shell would, prints its four exports and what
// DllCanUnloadNow answers, and unloads it again. Exits non-zero on any failure.

#include <windows.h>

#include <cstdio>

namespace {

const char* const kExports[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                "DllUnregisterServer"};

const char* HresultName(HRESULT result)
{
    switch (result) {
    case S_OK:
        return "S_OK";
    case S_FALSE:
        return "S_FALSE";
    default:
        return "a failure";
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vtlload <path of the DLL>\n");
        return 2;
    }
    HMODULE library = LoadLibraryW(argv[1]);
    if (!library) {
        std::fprintf(stderr, "vtlload: cannot load %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("loaded %ls\n", argv[1]);

    int missing = 0;
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC function = GetProcAddress(library, kExports[ordinal - 1]);
        bool sameOrdinal = function && function == GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
        std::printf("  export %d %s%s\n", ordinal, kExports[ordinal - 1],
                    !function ? ": missing" : sameOrdinal ? "" : ": ordinal differs");
        missing += sameOrdinal ? 0 : 1;
    }

    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    if (canUnloadNow) {
        HRESULT answer = canUnloadNow();
        std::printf("DllCanUnloadNow answers 0x%08lX (%s)\n", static_cast<unsigned long>(answer),
                    HresultName(answer));
    }
    FreeLibrary(library);
    std::printf("unloaded\n");
    return missing == 0 ? 0 : 1;
}
