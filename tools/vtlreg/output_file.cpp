#include "output_file.h"

#include <windows.h>

#include "runtime/unique_resource.h"
#include "server_module.h"

bool WriteWholeFile(const std::wstring& path, const std::string& bytes, std::wstring& error)
{
    const std::wstring temporary = path + L".vtlreg-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    {
        UniqueFileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            error = L"cannot create " + temporary + L" (" + SystemErrorText(GetLastError()) + L")";
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !FlushFileBuffers(file.Get())) {
            error = L"cannot write " + temporary + L" (" + SystemErrorText(GetLastError()) + L")";
            file.Reset();
            DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = L"cannot put " + path + L" in place (" + SystemErrorText(GetLastError()) + L")";
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}
