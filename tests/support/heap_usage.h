#pragma once
// What a heap holds, as the platform's heap walk sees it.

#include <windows.h>

inline int BusyBlocks(HANDLE heap)
{
    int busy = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            ++busy;
        }
    }
    HeapUnlock(heap);
    return busy;
}
