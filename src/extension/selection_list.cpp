#include "extension/selection_list.h"

#include "runtime/module_heaps.h"

WCHAR* PathBufferAlloc()
{
    return static_cast<WCHAR*>(ModuleAlloc(kPathBufferUnits * sizeof(WCHAR)));
}

bool SelectionList::Append(WCHAR* path)
{
    if (size == capacity) {
        // Grows to 1, 2, 4, 8, ... entries; a fresh array each time, the old one freed.
        UINT32 grown = size + (size > 0 ? size : 1);
        SIZE_T bytes = static_cast<SIZE_T>(grown) * sizeof(WCHAR*);
        if (grown < size || bytes / sizeof(WCHAR*) != grown) {
            return false;
        }
        auto** array = static_cast<WCHAR**>(ModuleAlloc(bytes));
        if (!array) {
            return false;
        }
        for (UINT32 index = 0; index < size; ++index) {
            array[index] = paths[index];
        }
        ModuleFree(paths);
        paths = array;
        capacity = grown;
    }
    paths[size++] = path;
    return true;
}

void SelectionList::Clear()
{
    for (UINT32 index = 0; index < size; ++index) {
        ModuleFree(paths[index]);
    }
    size = 0;
}

void SelectionList::Destroy()
{
    Clear();
    ModuleFree(paths);
    paths = nullptr;
    capacity = 0;
}
