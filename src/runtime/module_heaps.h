#pragma once
// Every object and buffer the module allocates for itself comes from these three operations:
// one private heap, or, on multi-processor systems older than Windows NT 5, a round-robin set
// of heaps whose blocks carry an 8-byte header naming the heap they came from.

#include <windows.h>

#include "runtime/module_state.h"

void* ModuleAlloc(SIZE_T size);
void* ModuleRealloc(void* block, SIZE_T size);  // null: as ModuleAlloc; on failure the block stays
void ModuleFree(void* block);                   // null: nothing

// What the start-up step learns from the system. The platform here reports NT 6 and never
// refuses a heap, so tests hand in facts of their own to reach the other modes.
struct HeapSystemFacts {
    DWORD platformId;
    DWORD majorVersion;
    DWORD processorCount;
    HANDLE(WINAPI* createHeap)(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
};

HeapSystemFacts ReadHeapSystemFacts();

// Heap count minus one for a round-robin set on n processors: the smallest power of two above n.
UINT32 RoundRobinHeapMask(DWORD processorCount);

// Start-up step: creates the private heap and, where the facts call for it, the set. If any
// of them cannot be created, the module is left with no heap at all, so that every later
// allocation fails cleanly instead of using a missing heap.
void StartModuleHeaps(ModuleState& module, const HeapSystemFacts& facts);
void StartModuleHeaps(ModuleState& module);

// Shut-down step: destroys the set, then the private heap, when destroyHeaps is set.
void StopModuleHeaps(ModuleState& module);
