#pragma once
// The selected paths of one extension object, in the order the shell gave them until the
// launch lower-cases and sorts them in place. A zero-filled record is an empty list, so the
// object that owns it needs no constructor.

#include <windows.h>

// Every path buffer holds this many units, whatever the length of the path in it.
constexpr UINT32 kPathBufferUnits = MAX_PATH;

struct SelectionList {
    WCHAR** paths;     // array of owned path buffers, or null before the first append
    UINT32 size;
    UINT32 capacity;

    // Takes ownership of a buffer from PathBufferAlloc. False when the array cannot grow:
    // the buffer then still belongs to the caller and the list is unchanged.
    bool Append(WCHAR* path);

    // Frees every path buffer in list order; the array and its capacity stay for reuse.
    void Clear();

    // Clear, then the array itself.
    void Destroy();

    UINT32 Size() const { return size; }
    WCHAR* At(UINT32 index) const { return paths[index]; }
};

// One path buffer of kPathBufferUnits units from the module heaps, not cleared; null when
// memory runs out. Given back with ModuleFree.
WCHAR* PathBufferAlloc();
