#pragma once
// The selected paths of one extension object, in the order the shell gave them until the
// launch lower-cases and sorts them in place. A zero-filled record is an empty list, so the
// object that owns it needs no constructor.
//
// Every path lives in one text block, back to back with its terminating zero, and the list
// keeps a pointer to each: a path costs its own units, its terminator and one pointer, however
// long or short it is, and sorting moves pointers only.

#include <windows.h>

// A path of this many units or more, with its terminator, is refused by every capture: the
// publishing application and the shell's own path buffers take no longer ones.
constexpr UINT32 kPathBufferUnits = MAX_PATH;

struct SelectionList {
    WCHAR** paths;        // one pointer into text per path, or null before the first path
    WCHAR* text;          // the paths with their terminators, back to back
    UINT32 size;
    UINT32 capacity;      // pointers paths has room for
    SIZE_T textUnits;     // units of text in use
    SIZE_T textCapacity;  // units text has room for

    // Makes room for `entries` more paths of `units` units in all, terminators included, in at
    // most one allocation of each block, so that a capture that has counted its paths first
    // allocates exactly once. False when memory runs out; the list is then unchanged.
    bool Reserve(UINT32 entries, SIZE_T units);

    // Copies a path of `units` units, and a terminating zero, to the end. Where Reserve made no
    // room, the pointers grow to 1, 2, 4, 8, ... entries and the text at least doubles. False
    // when memory runs out; the list is then unchanged.
    bool Append(const WCHAR* path, UINT32 units);
    bool Append(const WCHAR* path) { return Append(path, static_cast<UINT32>(lstrlenW(path))); }

    // Empties the list; both blocks stay for reuse.
    void Clear();

    // Clear, then both blocks.
    void Destroy();

    UINT32 Size() const { return size; }
    WCHAR* At(UINT32 index) const { return paths[index]; }
};
