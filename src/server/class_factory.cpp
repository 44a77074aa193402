#include "server/class_factory.h"

#include <cstddef>

#include "runtime/critical_section_lock.h"
#include "runtime/module_heaps.h"

struct ClassFactoryTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(ClassFactory* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(ClassFactory* self);
    ULONG(STDMETHODCALLTYPE* Release)(ClassFactory* self);
    HRESULT(STDMETHODCALLTYPE* CreateInstance)(ClassFactory* self, IUnknown* outer, REFIID iid, void** out);
    HRESULT(STDMETHODCALLTYPE* LockServer)(ClassFactory* self, BOOL lock);
};

const InterfaceMapEntry classFactoryInterfaceMap[] = {
    {&IID_IClassFactory, offsetof(ClassFactory, classFactory), VTL_POSITION_ROW},
    {nullptr, 0, nullptr},
};

namespace {

void DestroyFactory(ClassFactory* factory)
{
    factory->refCount = 1;
    DeleteCriticalSection(&factory->refLock);
    DeleteCriticalSection(&factory->objectLock);
    ModuleFree(factory);
}

HRESULT STDMETHODCALLTYPE FactoryQueryInterface(ClassFactory* self, REFIID iid, void** out)
{
    return QueryInterfaceFromTable(self, classFactoryInterfaceMap, iid, out);
}

// The table's reference is the first; the module is held from the first client reference
// (count 2) until the last one goes (back to 1).
ULONG STDMETHODCALLTYPE FactoryAddRef(ClassFactory* self)
{
    CriticalSectionLock lock(self->refLock);
    LONG count = InterlockedIncrement(&self->refCount);
    if (count == 2) {
        InterlockedIncrement(&theModule->lockCount);
    }
    return count;
}

ULONG STDMETHODCALLTYPE FactoryRelease(ClassFactory* self)
{
    LONG count;
    {
        CriticalSectionLock lock(self->refLock);
        count = InterlockedDecrement(&self->refCount);
    }
    if (count == 0) {
        DestroyFactory(self);
    } else if (count == 1) {
        InterlockedDecrement(&theModule->lockCount);
    }
    return count;
}

HRESULT STDMETHODCALLTYPE FactoryCreateInstance(ClassFactory* self, IUnknown* outer, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) {
        return CLASS_E_NOAGGREGATION;
    }
    return self->creator(outer, iid, out);
}

// Each FALSE takes back one TRUE given to this factory. An unmatched FALSE changes nothing:
// taken from the module lock count, it would let DllCanUnloadNow answer S_OK while objects
// live, and the host would unload the module under them.
HRESULT STDMETHODCALLTYPE FactoryLockServer(ClassFactory* self, BOOL lock)
{
    CriticalSectionLock guard(self->refLock);
    if (lock) {
        ++self->serverLocks;
        InterlockedIncrement(&theModule->lockCount);
    } else if (self->serverLocks > 0) {
        --self->serverLocks;
        InterlockedDecrement(&theModule->lockCount);
    }
    return S_OK;
}

const ClassFactoryTable classFactoryTable = {FactoryQueryInterface, FactoryAddRef, FactoryRelease,
                                             FactoryCreateInstance, FactoryLockServer};

// The row's cached factory, read without the lock (a compare-exchange that changes nothing).
IUnknown* CachedFactory(ClassObjectEntry& row)
{
    auto* slot = reinterpret_cast<void* volatile*>(&row.factory);
    return static_cast<IUnknown*>(InterlockedCompareExchangePointer(slot, nullptr, nullptr));
}

}  // namespace

HRESULT CreateClassFactory(CreateInstanceFunction creator, REFIID iid, void** out)
{
    auto* factory = static_cast<ClassFactory*>(ModuleAlloc(sizeof(ClassFactory)));
    if (!factory) {
        return E_OUTOFMEMORY;
    }
    factory->classFactory = &classFactoryTable;
    factory->refCount = 0;
    factory->serverLocks = 0;
    InitializeCriticalSection(&factory->objectLock);
    InitializeCriticalSection(&factory->refLock);
    factory->creator = creator;

    HRESULT result = FactoryQueryInterface(factory, iid, out);
    if (result != S_OK) {
        DestroyFactory(factory);
    }
    return result;
}

HRESULT GetClassObjectFromTable(ModuleState* module, REFCLSID clsid, REFIID iid, void** out)
{
    if (!module) {
        return E_INVALIDARG;
    }
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    HRESULT result = S_OK;

    ClassObjectEntry* row = module->classTable;
    while (row && row->clsid && !(row->createFactory && IsEqualCLSID(*row->clsid, clsid))) {
        ++row;
    }
    if (row && row->clsid) {
        if (!CachedFactory(*row)) {
            CriticalSectionLock lock(module->classObjectLock);
            if (!row->factory) {
                // Made in a local and published whole, so that a thread that finds the row's
                // factory without the lock finds it complete.
                void* created = nullptr;
                result = row->createFactory(row->createInstance, IID_IUnknown, &created);
                if (result == S_OK) {
                    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&row->factory), created);
                }
            }
        }
        if (IUnknown* factory = CachedFactory(*row)) {
            result = factory->QueryInterface(iid, out);
        }
    }
    if (!*out && result == S_OK) {
        result = CLASS_E_CLASSNOTAVAILABLE;
    }
    return result;
}
