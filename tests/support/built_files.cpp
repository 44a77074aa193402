#include "built_files.h"

#include <windows.h>

#include <cstdlib>

std::wstring WindowsPathFromEnvironment(const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || !*value) {
        return {};
    }
    std::wstring path = L"Z:";
    for (const char* unit = value; *unit; ++unit) {
        path += *unit == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*unit));
    }
    return path;
}

std::wstring BuiltDllPath()
{
    return WindowsPathFromEnvironment("VTL_DLL");
}

std::wstring ProgramFolder()
{
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, length);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}
