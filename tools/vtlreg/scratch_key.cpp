#include "scratch_key.h"

ScratchKey::ScratchKey()
{
    // A name that no other run uses: another vtlreg may be harvesting at the same time, and a
    // key left by a run that was killed must not be taken over.
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
        path_ = L"Software\\vtlreg scratch " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(attempt);
        DWORD disposition = 0;
        status_ = RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key_.Put(), &disposition);
        if (status_ != ERROR_SUCCESS) {
            return;
        }
        if (disposition == REG_CREATED_NEW_KEY) {
            return;
        }
        key_.Reset();
    }
    status_ = ERROR_ALREADY_EXISTS;
    path_.clear();
}

ScratchKey::~ScratchKey()
{
    if (status_ != ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeW(key_.Get(), nullptr);
    key_.Reset();
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
}
