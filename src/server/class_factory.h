#pragma once
// The class factory of a class row, and DllGetClassObject's walk of the class object table.

#include <objbase.h>

#include "runtime/module_state.h"
#include "server/class_object_entry.h"
#include "server/interface_map.h"

struct ClassFactoryTable;

// One factory, from the module heaps. The first reference is the class table's (the row's
// cached factory); the module lock count holds one count while any client reference exists.
struct ClassFactory {
    const ClassFactoryTable* classFactory;  // IClassFactory
    LONG refCount;
    CRITICAL_SECTION objectLock;  // initialised and deleted; never entered
    CreateInstanceFunction creator;
    CRITICAL_SECTION refLock;     // around every change of refCount and serverLocks
    LONG serverLocks;             // LockServer(TRUE) calls not yet taken back
};

extern const InterfaceMapEntry classFactoryInterfaceMap[];

// The createFactory of a class row: a new factory for the creator, asked for iid. On a failed
// allocation E_OUTOFMEMORY with out untouched; when iid is refused, the factory is destroyed
// and the refusal returned.
HRESULT CreateClassFactory(CreateInstanceFunction creator, REFIID iid, void** out);

// DllGetClassObject on a module record: finds the row of clsid, creates its factory once
// (under classObjectLock, tested before and after entering it) and hands out iid from it.
// E_INVALIDARG without a record, E_POINTER without an out pointer, CLASS_E_CLASSNOTAVAILABLE
// for a class the table does not serve.
HRESULT GetClassObjectFromTable(ModuleState* module, REFCLSID clsid, REFIID iid, void** out);
