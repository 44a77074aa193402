#pragma once
// The DLL being registered, loaded into this process as regsvr32 loads it, with its two
// registration exports.

#include <windows.h>

#include <string>

#include "runtime/unique_resource.h"

class ServerModule {
public:
    // Loads the DLL at `path` (made absolute first). False, with the reason in `error`, when
    // it does not load or lacks DllRegisterServer or DllUnregisterServer.
    bool Load(const std::wstring& path, std::wstring& error);

    HRESULT Register() const { return registerServer_(); }
    HRESULT Unregister() const { return unregisterServer_(); }

    // The module's path as the module itself sees it, which is the path it registers.
    const std::wstring& Path() const { return path_; }
    // The file name part of Path().
    std::wstring FileName() const;

private:
    using Export = HRESULT(STDAPICALLTYPE*)();

    UniqueLibrary library_;
    std::wstring path_;
    Export registerServer_ = nullptr;
    Export unregisterServer_ = nullptr;
};

// "error N: <the system's text>" for a Win32 error code.
std::wstring SystemErrorText(DWORD error);

// "0x8007000E" and the system's text when it has one.
std::wstring HresultText(HRESULT result);
