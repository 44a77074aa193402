#include "server/module_lifecycle.h"

#include "runtime/module_heaps.h"

namespace {

// The frame's version identifier; nothing reads it.
// {7D0C5B1E-3F4A-4E2B-9C61-0A8F2D47B3E5}
constexpr GUID kFrameVersionId = {
    0x7D0C5B1E, 0x3F4A, 0x4E2B, {0x9C, 0x61, 0x0A, 0x8F, 0x2D, 0x47, 0xB3, 0xE5}};

}  // namespace

HRESULT InitModule(ModuleState* module, ClassObjectEntry* classTable, HINSTANCE instance)
{
    if (!module) {
        return E_INVALIDARG;
    }
    module->versionId = &kFrameVersionId;
    theModule = module;
    module->size = kModuleStateSize;
    module->frameVersion = kFrameVersion;

    module->classTable = classTable;
    module->lockCount = 0;
    module->instance = instance;
    module->resourceInstance = instance;
    module->typeLibInstance = instance;
    module->privateHeap = nullptr;

    InitializeCriticalSection(&module->generalLock);
    InitializeCriticalSection(&module->spareLock);
    InitializeCriticalSection(&module->classObjectLock);

    module->spareList = nullptr;
    module->destroyHeaps = true;
    module->heapMask = 0;
    module->heapCursor = 0;
    module->heapArray = nullptr;
    module->exitCallbacks = nullptr;

    // The hooks run before any heap exists.
    for (ClassObjectEntry* row = classTable; row && row->clsid; ++row) {
        row->classHook(true);
    }

    StartModuleHeaps(*module);
    return S_OK;
}

HRESULT ModuleCanUnloadNow(const ModuleState* module)
{
    return module->lockCount == 0 ? S_OK : S_FALSE;
}

HRESULT TermModule(ModuleState* module)
{
    if (!module) {
        return E_INVALIDARG;
    }
    for (ClassObjectEntry* row = module->classTable; row && row->clsid; ++row) {
        if (row->factory) {
            row->factory->Release();
        }
        row->factory = nullptr;
        row->classHook(false);
    }

    DeleteCriticalSection(&module->generalLock);
    DeleteCriticalSection(&module->spareLock);
    DeleteCriticalSection(&module->classObjectLock);

    // The locks are gone: callbacks must not take them.
    ExitCallbackNode* node = module->exitCallbacks;
    while (node) {
        node->callback(node->argument);
        ExitCallbackNode* next = node->next;
        ModuleFree(node);
        node = next;
    }
    module->exitCallbacks = nullptr;

    StopModuleHeaps(*module);
    return S_OK;
}
