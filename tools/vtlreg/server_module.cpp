#include "server_module.h"

#include <cstdio>
#include <vector>

namespace {

std::wstring MessageText(DWORD code)
{
    wchar_t text[512];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                  text, ARRAYSIZE(text), nullptr);
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.')) {
        --length;
    }
    return std::wstring(text, length);
}

}  // namespace

std::wstring SystemErrorText(DWORD error)
{
    std::wstring text = MessageText(error);
    return L"error " + std::to_wstring(error) + (text.empty() ? L"" : L": " + text);
}

std::wstring HresultText(HRESULT result)
{
    wchar_t code[16];
    swprintf(code, ARRAYSIZE(code), L"0x%08lX", static_cast<unsigned long>(result));
    std::wstring text = MessageText(static_cast<DWORD>(result));
    return code + (text.empty() ? L"" : L" (" + text + L")");
}

bool ServerModule::Load(const std::wstring& path, std::wstring& error)
{
    std::vector<wchar_t> full(32768);
    DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        error = L"cannot resolve the path " + path + L" (" + SystemErrorText(GetLastError()) + L")";
        return false;
    }
    std::wstring absolute(full.data(), length);
    // The DLL's own folder is searched first for the DLLs it needs, as regsvr32 does.
    library_.Reset(LoadLibraryExW(absolute.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!library_) {
        DWORD code = GetLastError();
        error = L"cannot load " + absolute + L" (" + SystemErrorText(code) + L")";
        if (code == ERROR_BAD_EXE_FORMAT) {
            error += sizeof(void*) == 8 ? L"; a 32-bit DLL needs the 32-bit vtlreg" : L"; a 64-bit DLL needs the 64-bit vtlreg";
        }
        return false;
    }
    registerServer_ = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(library_.Get(), "DllRegisterServer")));
    unregisterServer_ = reinterpret_cast<Export>(
        reinterpret_cast<void*>(GetProcAddress(library_.Get(), "DllUnregisterServer")));
    if (!registerServer_ || !unregisterServer_) {
        error = absolute + L" has no " + (registerServer_ ? L"DllUnregisterServer" : L"DllRegisterServer") +
                L" export: it is not a self-registering COM server";
        return false;
    }
    length = GetModuleFileNameW(library_.Get(), full.data(), static_cast<DWORD>(full.size()));
    path_ = length > 0 && length < full.size() ? std::wstring(full.data(), length) : absolute;
    return true;
}

std::wstring ServerModule::FileName() const
{
    return path_.substr(path_.find_last_of(L"\\/:") + 1);
}
