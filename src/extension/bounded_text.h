#pragma once
// Appends texts to a fixed buffer and refuses, rather than cuts, what would not fit: after an
// overflow the buffer still holds a terminated text and nothing was written past its end.

#include <windows.h>

class BoundedText {
public:
    BoundedText(WCHAR* buffer, UINT32 capacity) noexcept : buffer_(buffer), capacity_(capacity)
    {
        buffer_[0] = 0;
    }

    void Append(const WCHAR* text, UINT32 count) noexcept
    {
        if (overflowed_ || count >= capacity_ - length_) {
            overflowed_ = true;
            return;
        }
        for (UINT32 index = 0; index < count; ++index) {
            buffer_[length_ + index] = text[index];
        }
        length_ += count;
        buffer_[length_] = 0;
    }
    void Append(const WCHAR* text) noexcept { Append(text, static_cast<UINT32>(lstrlenW(text))); }

    bool Overflowed() const noexcept { return overflowed_; }
    UINT32 Length() const noexcept { return length_; }  // units before the terminating zero

private:
    WCHAR* buffer_;
    UINT32 capacity_;  // including the terminating zero
    UINT32 length_ = 0;
    bool overflowed_ = false;
};
