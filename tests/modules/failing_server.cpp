// A module whose DllRegisterServer writes a key of its own under HKEY_CLASSES_ROOT, writes
// another one opened with KEY_WOW64_64KEY (which under Wine reaches the real classes even while
// HKEY_CLASSES_ROOT is redirected), and then fails with SELFREG_E_CLASS. Its
// DllUnregisterServer removes both keys.

#include <windows.h>

namespace {

const wchar_t kOwnKey[] = L"VtlFailingServer.Partial";
const wchar_t kPastRedirectKey[] = L"VtlFailingServer.PastRedirect";

void WriteKey(const wchar_t* name, REGSAM view)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, name, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        const wchar_t text[] = L"written before the failure";
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
        RegCloseKey(key);
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" HRESULT __stdcall DllRegisterServer()
{
    WriteKey(kOwnKey, 0);
    WriteKey(kPastRedirectKey, KEY_WOW64_64KEY);
    return static_cast<HRESULT>(0x80040201L);  // SELFREG_E_CLASS
}

extern "C" HRESULT __stdcall DllUnregisterServer()
{
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kOwnKey);
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, kPastRedirectKey, KEY_WOW64_64KEY, 0);
    return S_OK;
}
