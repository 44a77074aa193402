#pragma once
// A key of vtlreg's own under HKEY_CURRENT_USER\Software, made fresh for one registration and
// removed with everything below it when the scope ends, whatever happened meanwhile.

#include <windows.h>

#include <string>

#include "runtime/unique_resource.h"

class ScratchKey {
public:
    ScratchKey();
    ~ScratchKey();
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    // ERROR_SUCCESS once the key is there; otherwise why it could not be made.
    LONG Status() const { return status_; }
    HKEY Get() const { return key_.Get(); }
    // Relative to HKEY_CURRENT_USER.
    const std::wstring& Path() const { return path_; }

private:
    UniqueKey key_;
    std::wstring path_;
    LONG status_ = ERROR_INVALID_HANDLE;
};
