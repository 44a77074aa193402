#include "runtime/module_state.h"

#include "runtime/critical_section_lock.h"
#include "runtime/module_heaps.h"

ModuleState* theModule = nullptr;

HRESULT AddExitCallback(ModuleState* module, ExitCallback callback, void* argument)
{
    if (!module) {
        return E_INVALIDARG;
    }
    auto* node = static_cast<ExitCallbackNode*>(ModuleAlloc(sizeof(ExitCallbackNode)));
    if (!node) {
        return E_OUTOFMEMORY;
    }
    node->callback = callback;
    node->argument = argument;

    CriticalSectionLock lock(module->generalLock);
    node->next = module->exitCallbacks;
    module->exitCallbacks = node;
    return S_OK;
}

HRESULT AddExitCallbackOnce(ModuleState* module, ExitCallback callback, void* argument)
{
    if (!module) {
        return E_INVALIDARG;
    }
    // The lock is re-entrant: the look-up and the addition form one step.
    CriticalSectionLock lock(module->generalLock);
    for (ExitCallbackNode* node = module->exitCallbacks; node; node = node->next) {
        if (node->callback == callback && node->argument == argument) {
            return S_FALSE;
        }
    }
    return AddExitCallback(module, callback, argument);
}
