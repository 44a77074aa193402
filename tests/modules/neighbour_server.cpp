// A module with the test type library whose DllRegisterServer writes a key of the machine's
// classes and has a child process write another, as other programs do all the time.

#include <windows.h>

#include <cstdlib>

extern "C" HRESULT __stdcall DllRegisterServer()
{
    const wchar_t text[] = L"another program's";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\VtlNeighbour.ByRegistration", nullptr, REG_SZ, text,
                    sizeof(text));
    _wsystem(L"reg.exe add \"HKLM\\Software\\Classes\\Interface\\{5D7C3B1A-2E4F-4A60-9B8C-1F0E2D3C4B5A}\" /ve /d "
             L"\"another program's\" /f >nul");
    return S_OK;
}

extern "C" HRESULT __stdcall DllUnregisterServer()
{
    return S_OK;
}
