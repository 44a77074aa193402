// The baseline a user would compare a context-menu handler with: a handler for every file
// type that inserts one menu item and does nothing else. It registers itself as a handler is
// registered (its class with an apartment-threaded InprocServer32, and a key under
// *\shellex\ContextMenuHandlers), so that a right-click loads it exactly as it loads vtlMenu.

#include <windows.h>
#include <shlobj.h>

#include <new>

namespace {

// {0B6F3E2A-5D41-4C7E-9A18-2E4D6C8B1F07}
const CLSID kMinimalHandler = {0x0B6F3E2A, 0x5D41, 0x4C7E, {0x9A, 0x18, 0x2E, 0x4D, 0x6C, 0x8B, 0x1F, 0x07}};
const wchar_t kClassText[] = L"{0B6F3E2A-5D41-4C7E-9A18-2E4D6C8B1F07}";
const wchar_t kClassKey[] = L"CLSID\\{0B6F3E2A-5D41-4C7E-9A18-2E4D6C8B1F07}";
const wchar_t kHandlerKey[] = L"*\\shellex\\ContextMenuHandlers\\VtlMinimalHandler";

HINSTANCE module = nullptr;
LONG liveObjects = 0;

class MinimalHandler : public IShellExtInit, public IContextMenu {
public:
    MinimalHandler() { InterlockedIncrement(&liveObjects); }
    virtual ~MinimalHandler() { InterlockedDecrement(&liveObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IShellExtInit)) {
            *out = static_cast<IShellExtInit*>(this);
        } else if (IsEqualIID(iid, IID_IContextMenu)) {
            *out = static_cast<IContextMenu*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG count = --references_;
        if (count == 0) {
            delete this;
        }
        return count;
    }

    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) override
    {
        if ((flags & CMF_DEFAULTONLY) || first > last) {
            return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
        }
        InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, first, L"&Minimal");
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
    }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override { return E_NOTIMPL; }

private:
    ULONG references_ = 0;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) {
            return E_POINTER;
        }
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* handler = new (std::nothrow) MinimalHandler;
        if (!handler) {
            return E_OUTOFMEMORY;
        }
        handler->AddRef();
        HRESULT result = handler->QueryInterface(iid, out);
        handler->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? InterlockedIncrement(&liveObjects) : InterlockedDecrement(&liveObjects);
        return S_OK;
    }
};

Factory factory;

LONG SetText(const wchar_t* path, const wchar_t* name, const wchar_t* text)
{
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    return status;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    return IsEqualCLSID(clsid, kMinimalHandler) ? factory.QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow()
{
    return liveObjects == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return E_FAIL;
    }
    wchar_t server[96];
    lstrcpyW(server, kClassKey);
    lstrcatW(server, L"\\InprocServer32");
    LONG status = SetText(kClassKey, nullptr, L"Minimal context-menu handler");
    if (status == ERROR_SUCCESS) {
        status = SetText(server, nullptr, path);
    }
    if (status == ERROR_SUCCESS) {
        status = SetText(server, L"ThreadingModel", L"Apartment");
    }
    if (status == ERROR_SUCCESS) {
        status = SetText(kHandlerKey, nullptr, kClassText);
    }
    return HRESULT_FROM_WIN32(status);
}

extern "C" HRESULT __stdcall DllUnregisterServer()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kHandlerKey);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
    return S_OK;
}
