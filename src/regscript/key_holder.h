#pragma once
// One slot for an open registry key. Replacing or closing the held key reports the status of
// RegCloseKey, which the interpreter turns into a failure; whatever is still held when the
// holder goes away is closed then.

#include <windows.h>

#include "runtime/unique_resource.h"

class KeyHolder {
public:
    KeyHolder() noexcept = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;

    HKEY Get() const noexcept { return key_.Get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(key_); }

    // Closes the held key, if any: ERROR_SUCCESS when there was none.
    LONG Close() noexcept
    {
        return key_ ? RegCloseKey(key_.Detach()) : ERROR_SUCCESS;
    }

    // Closes the held key and takes key instead; the status is that of the close. The new
    // key is held even when the close fails.
    LONG Replace(HKEY key) noexcept
    {
        LONG status = Close();
        key_.Reset(key);
        return status;
    }

private:
    UniqueKey key_;
};
