#pragma once
// Owner of one block from the module heaps, given back with ModuleFree.

#include "runtime/module_heaps.h"

template <typename T>
class ModuleBlock {
public:
    ModuleBlock() noexcept = default;
    explicit ModuleBlock(T* block) noexcept : block_(block) {}
    ModuleBlock(ModuleBlock&& other) noexcept : block_(other.Detach()) {}
    ModuleBlock& operator=(ModuleBlock&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    ModuleBlock(const ModuleBlock&) = delete;
    ModuleBlock& operator=(const ModuleBlock&) = delete;
    ~ModuleBlock() { Reset(); }

    // Allocates room for count elements; an empty owner on failure.
    static ModuleBlock Allocate(SIZE_T count = 1) noexcept
    {
        if (count > static_cast<SIZE_T>(-1) / sizeof(T)) {
            return ModuleBlock();
        }
        return ModuleBlock(static_cast<T*>(ModuleAlloc(count * sizeof(T))));
    }

    T* Get() const noexcept { return block_; }
    T* operator->() const noexcept { return block_; }
    explicit operator bool() const noexcept { return block_ != nullptr; }
    T* Detach() noexcept
    {
        T* block = block_;
        block_ = nullptr;
        return block;
    }
    void Reset(T* block = nullptr) noexcept
    {
        ModuleFree(block_);
        block_ = block;
    }

private:
    T* block_ = nullptr;
};
