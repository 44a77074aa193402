#pragma once
// The one module-wide record. Every part of the library reaches it through theModule, which
// InitModule points at the record it brings up (the DLL's own, or a test's).

#include <windows.h>

#include <cstddef>

struct ClassObjectEntry;

using ExitCallback = void (*)(void* argument);

// One node of the exit-callback list, allocated from the module heaps and owned by the list.
struct ExitCallbackNode {
    ExitCallback callback;
    void* argument;
    ExitCallbackNode* next;
};

struct ModuleState {
    UINT32 size;
    HINSTANCE instance;
    HINSTANCE resourceInstance;
    HINSTANCE typeLibInstance;
    ClassObjectEntry* classTable;
    volatile LONG lockCount;            // changed only by InterlockedIncrement/Decrement
    HANDLE privateHeap;
    CRITICAL_SECTION generalLock;       // exit-callback list, one-time type information load
    CRITICAL_SECTION spareLock;         // created and deleted, never entered
    CRITICAL_SECTION classObjectLock;   // creation of cached class factories
    UINT32 frameVersion;
    void* spareList;
    bool destroyHeaps;
    const GUID* versionId;
    UINT32 heapMask;
    HANDLE* heapArray;
    UINT32 heapCursor;
    ExitCallbackNode* exitCallbacks;
};

#if !defined(_WIN64)
// The 32-bit record, field by field: 4-byte handles and pointers, 24-byte critical sections,
// and three bytes of padding behind destroyHeaps.
static_assert(offsetof(ModuleState, size) == 0, "");
static_assert(offsetof(ModuleState, instance) == 4, "");
static_assert(offsetof(ModuleState, resourceInstance) == 8, "");
static_assert(offsetof(ModuleState, typeLibInstance) == 12, "");
static_assert(offsetof(ModuleState, classTable) == 16, "");
static_assert(offsetof(ModuleState, lockCount) == 20, "");
static_assert(offsetof(ModuleState, privateHeap) == 24, "");
static_assert(offsetof(ModuleState, generalLock) == 28, "");
static_assert(offsetof(ModuleState, spareLock) == 52, "");
static_assert(offsetof(ModuleState, classObjectLock) == 76, "");
static_assert(offsetof(ModuleState, frameVersion) == 100, "");
static_assert(offsetof(ModuleState, spareList) == 104, "");
static_assert(offsetof(ModuleState, destroyHeaps) == 108, "");
static_assert(offsetof(ModuleState, versionId) == 112, "");
static_assert(offsetof(ModuleState, heapMask) == 116, "");
static_assert(offsetof(ModuleState, heapArray) == 120, "");
static_assert(offsetof(ModuleState, heapCursor) == 124, "");
static_assert(offsetof(ModuleState, exitCallbacks) == 128, "");
static_assert(sizeof(ModuleState) == 132, "the 32-bit module record is 132 bytes");
#endif

constexpr UINT32 kModuleStateSize = 132;
constexpr UINT32 kFrameVersion = 0x0300;

extern ModuleState* theModule;

// Pushes a callback that TermModule runs, newest first. E_OUTOFMEMORY leaves the list as it was.
HRESULT AddExitCallback(ModuleState* module, ExitCallback callback, void* argument);

// As AddExitCallback, unless the same callback with the same argument is on the list already:
// then nothing is added and the result is S_FALSE.
HRESULT AddExitCallbackOnce(ModuleState* module, ExitCallback callback, void* argument);
