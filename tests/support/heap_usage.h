#pragma once
// What a heap holds for its caller, as the platform's heap walk sees it.
//
// Under Wine's heap checking (WINEDEBUG=warn+heap, scripts/heap-check.sh) a freed block is not
// given back at once: the heap holds it back, still marked busy and filled with a pattern, in a
// list that the heap keeps as its own first block. Neither the list nor the blocks on it are
// the caller's, so they are left out of the count; without heap checking nothing changes.

#include <windows.h>

#include <algorithm>

namespace heap_usage_detail {

// How far in front of a block's data the checking heap's list points (its block header), or 0
// when freed blocks are given back at once. Found once, on a heap of its own.
inline SIZE_T HeldBackHeaderSize()
{
    static const SIZE_T size = [] {
        HANDLE heap = HeapCreate(0, 0, 0);
        if (!heap) {
            return SIZE_T{0};
        }
        BYTE* block = static_cast<BYTE*>(HeapAlloc(heap, 0, 16));
        HeapFree(heap, 0, block);
        SIZE_T found = 0;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heap, &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData >= sizeof(void*)) {
                BYTE* listed = *static_cast<BYTE* const*>(entry.lpData);
                found = block > listed && block - listed <= 64 ? static_cast<SIZE_T>(block - listed) : 0;
                break;
            }
        }
        HeapDestroy(heap);
        return found;
    }();
    return size;
}

}  // namespace heap_usage_detail

inline int BusyBlocks(HANDLE heap)
{
    const SIZE_T headerSize = heap_usage_detail::HeldBackHeaderSize();
    int busy = 0;
    BYTE* const* heldBack = nullptr;
    SIZE_T heldBackCount = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) {
            continue;
        }
        if (headerSize && !heldBack) {
            heldBack = static_cast<BYTE* const*>(entry.lpData);  // the checking heap's own list
            heldBackCount = entry.cbData / sizeof(void*);
            continue;
        }
        BYTE* header = static_cast<BYTE*>(entry.lpData) - headerSize;
        if (heldBack && std::find(heldBack, heldBack + heldBackCount, header) != heldBack + heldBackCount) {
            continue;
        }
        ++busy;
    }
    HeapUnlock(heap);
    return busy;
}
