#pragma once
// Owner of one BSTR, freed with SysFreeString.

#include <oleauto.h>

class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR value) noexcept : value_(value) {}
    UniqueBstr(UniqueBstr&& other) noexcept : value_(other.Detach()) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { Reset(); }

    BSTR Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != nullptr; }
    BSTR* Put() noexcept
    {
        Reset();
        return &value_;
    }
    BSTR Detach() noexcept
    {
        BSTR value = value_;
        value_ = nullptr;
        return value;
    }
    void Reset(BSTR value = nullptr) noexcept
    {
        SysFreeString(value_);
        value_ = value;
    }

private:
    BSTR value_ = nullptr;
};
