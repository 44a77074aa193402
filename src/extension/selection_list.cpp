#include "extension/selection_list.h"

#include "runtime/module_heaps.h"

bool SelectionList::Reserve(UINT32 entries, SIZE_T units)
{
    const UINT32 entriesNeeded = size + entries;
    const SIZE_T unitsNeeded = textUnits + units;
    if (entriesNeeded < size || unitsNeeded < textUnits || SIZE_T(entriesNeeded) > ~SIZE_T(0) / sizeof(WCHAR*) ||
        unitsNeeded > ~SIZE_T(0) / sizeof(WCHAR)) {
        return false;
    }
    if (entriesNeeded > capacity) {
        auto** grown = static_cast<WCHAR**>(ModuleRealloc(paths, entriesNeeded * sizeof(WCHAR*)));
        if (!grown) {
            return false;
        }
        paths = grown;
        capacity = entriesNeeded;
    }
    if (unitsNeeded > textCapacity) {
        const UINT_PTR oldBase = reinterpret_cast<UINT_PTR>(text);
        auto* grown = static_cast<WCHAR*>(ModuleRealloc(text, unitsNeeded * sizeof(WCHAR)));
        if (!grown) {
            return false;
        }
        // The text may have moved: each pointer keeps its place in it.
        for (UINT32 index = 0; index < size; ++index) {
            paths[index] = grown + (reinterpret_cast<UINT_PTR>(paths[index]) - oldBase) / sizeof(WCHAR);
        }
        text = grown;
        textCapacity = unitsNeeded;
    }
    return true;
}

bool SelectionList::Append(const WCHAR* path, UINT32 units)
{
    const SIZE_T needed = static_cast<SIZE_T>(units) + 1;
    const UINT32 moreEntries = size < capacity ? 0 : (size > 0 ? size : 1);
    const SIZE_T moreUnits = textUnits + needed <= textCapacity ? 0 : (textCapacity > needed ? textCapacity : needed);
    if ((moreEntries || moreUnits) &&
        !Reserve(capacity - size + moreEntries, textCapacity - textUnits + moreUnits)) {
        return false;
    }
    WCHAR* copy = text + textUnits;
    CopyMemory(copy, path, units * sizeof(WCHAR));
    copy[units] = 0;
    textUnits += needed;
    paths[size++] = copy;
    return true;
}

void SelectionList::Clear()
{
    size = 0;
    textUnits = 0;
}

void SelectionList::Destroy()
{
    ModuleFree(paths);
    ModuleFree(text);
    *this = SelectionList{};
}
