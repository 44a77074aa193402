#include "regscript/replacement_map.h"

#include "runtime/module_block.h"
#include "runtime/module_heaps.h"
#include "runtime/unique_resource.h"

namespace {

constexpr int kFirstCapacity = 10;

WCHAR* CopyToTaskMemory(const WCHAR* text)
{
    SIZE_T bytes = (static_cast<SIZE_T>(lstrlenW(text)) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
    if (copy) {
        CopyMemory(copy, text, bytes);
    }
    return copy;
}

}  // namespace

ReplacementMap::ReplacementMap() noexcept
    : items_(static_cast<ReplacementPair**>(
          ModuleAlloc(kFirstCapacity * sizeof(ReplacementPair*)))),
      count_(0),
      capacity_(items_ ? kFirstCapacity : 0)
{
}

ReplacementMap::~ReplacementMap()
{
    Clear();
    ModuleFree(items_);
}

HRESULT ReplacementMap::Add(const WCHAR* name, const WCHAR* value)
{
    ModuleBlock<ReplacementPair> pair = ModuleBlock<ReplacementPair>::Allocate();
    if (!pair) {
        return E_OUTOFMEMORY;
    }
    UniqueCoTaskString nameCopy(CopyToTaskMemory(name));
    UniqueCoTaskString valueCopy(CopyToTaskMemory(value));
    if (!nameCopy || !valueCopy) {
        return E_OUTOFMEMORY;
    }

    if (count_ == capacity_) {
        if (capacity_ > 0x3FFFFFFF) {
            return E_OUTOFMEMORY;
        }
        int capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
        void* grown =
            ModuleRealloc(items_, static_cast<SIZE_T>(capacity) * sizeof(ReplacementPair*));
        if (!grown) {
            return E_OUTOFMEMORY;  // the pair and its strings go with the owners above
        }
        items_ = static_cast<ReplacementPair**>(grown);
        capacity_ = capacity;
    }

    pair->name = nameCopy.Detach();
    pair->value = valueCopy.Detach();
    items_[count_++] = pair.Detach();
    return S_OK;
}

const WCHAR* ReplacementMap::Lookup(const WCHAR* name) const
{
    for (int index = 0; index < count_; ++index) {
        if (lstrcmpiW(items_[index]->name, name) == 0) {
            return items_[index]->value;
        }
    }
    return nullptr;
}

void ReplacementMap::Clear()
{
    for (int index = 0; index < count_; ++index) {
        CoTaskMemFree(items_[index]->value);
        CoTaskMemFree(items_[index]->name);
        ModuleFree(items_[index]);
    }
    count_ = 0;
}
