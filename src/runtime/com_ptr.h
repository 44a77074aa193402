#pragma once
// Owner of one COM reference.

#include <objbase.h>

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : pointer_(other.pointer_) { AddRefHeld(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
    ComPtr& operator=(const ComPtr& other) noexcept
    {
        if (pointer_ != other.pointer_) {
            ComPtr copy(other);
            Swap(copy);
        }
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            pointer_ = other.Detach();
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* pointer) noexcept
    {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }

    T* Get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // For out parameters: the reference held before is released first.
    T** Put() noexcept
    {
        Reset();
        return &pointer_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    T* Detach() noexcept
    {
        T* pointer = pointer_;
        pointer_ = nullptr;
        return pointer;
    }

    void Reset() noexcept
    {
        if (pointer_) {
            T* pointer = pointer_;
            pointer_ = nullptr;
            pointer->Release();
        }
    }

    template <typename U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>& result) const noexcept
    {
        return pointer_->QueryInterface(iid, result.PutVoid());
    }

private:
    void AddRefHeld() noexcept
    {
        if (pointer_) {
            pointer_->AddRef();
        }
    }
    void Swap(ComPtr& other) noexcept
    {
        T* pointer = pointer_;
        pointer_ = other.pointer_;
        other.pointer_ = pointer;
    }

    T* pointer_ = nullptr;
};
