#pragma once
// One row of a class object table: how the module serves, registers and creates one COM
// class. A table ends with a row whose clsid is null.

#include <objbase.h>
#include <comcat.h>

using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);
using CreateFactoryFunction = HRESULT (*)(CreateInstanceFunction creator, REFIID iid,
                                          void** object);

// One component category of a class: kind 0 ends the list, 1 marks a category the class
// implements, any other kind one it requires.
struct CategoryEntry {
    INT32 kind;
    const CATID* catid;
};

struct ClassObjectEntry {
    const CLSID* clsid;
    HRESULT (*updateRegistry)(BOOL doRegister);  // null: the class has no registry entries
    CreateFactoryFunction createFactory;
    CreateInstanceFunction createInstance;
    IUnknown* factory;  // cached; written under classObjectLock and by tear-down only
    DWORD registrationCookie;
    const WCHAR* (*getDescription)();
    const CategoryEntry* (*getCategories)();
    void (*classHook)(bool starting);
};

// This module's table: the VTLShlExt row, the VTLExplorerCommand row and the terminating row.
extern ClassObjectEntry vtlMenuClassTable[];
