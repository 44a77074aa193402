#include "server/server_registration.h"

#include <comcat.h>

#include "runtime/com_ptr.h"
#include "server/module_type_lib.h"
#include "server/other_build_registration.h"

namespace {

// A row without registry entries is passed over by both walks: what a row never registers
// it must not unregister either, even where another registration holds its class.
bool RowSelected(const ClassObjectEntry& row, const CLSID* clsid)
{
    if (!row.updateRegistry) {
        return false;
    }
    if (clsid) {
        return IsEqualCLSID(*row.clsid, *clsid);
    }
    return !row.getDescription || !row.getDescription();
}

const CategoryEntry* CategoriesOf(const ClassObjectEntry& row)
{
    return row.getCategories ? row.getCategories() : nullptr;
}

}  // namespace

HRESULT RegisterServer(ModuleState* module, BOOL registerTypeLib, const CLSID* clsid)
{
    if (!module) {
        return E_INVALIDARG;
    }
    HRESULT result = S_OK;
    for (ClassObjectEntry* row = module->classTable; row && row->clsid; ++row) {
        if (!RowSelected(*row, clsid)) {
            continue;
        }
        result = row->updateRegistry(TRUE);
        if (FAILED(result)) {
            return result;
        }
        result = RegisterClassCategories(*row->clsid, CategoriesOf(*row), TRUE);
        if (FAILED(result)) {
            return result;
        }
    }
    if (registerTypeLib) {
        result = RegisterModuleTypeLib(module, nullptr);
        if (FAILED(result)) {
            // A failed registration leaves none of its rows behind: keys that stayed would
            // make a working menu after the installer was told that registration failed.
            (void)UnregisterServer(module, FALSE, clsid);
        }
    }
    return result;
}

HRESULT UnregisterServer(ModuleState* module, BOOL unregisterTypeLib, const CLSID* clsid)
{
    if (!module) {
        return E_INVALIDARG;
    }
    for (ClassObjectEntry* row = module->classTable; row && row->clsid; ++row) {
        if (!RowSelected(*row, clsid)) {
            continue;
        }
        (void)UnregisterClassRow(*row);
        if (row->getCategories) {
            (void)RegisterClassCategories(*row->clsid, row->getCategories(), FALSE);
        }
    }
    if (unregisterTypeLib) {
        (void)UnregisterModuleTypeLib(module, nullptr);
        (void)RestoreOtherBuildTypeLib(module);
    }
    return S_OK;
}

HRESULT RegisterClassCategories(const CLSID& clsid, const CategoryEntry* categories, BOOL doRegister)
{
    if (!categories) {
        return S_OK;
    }
    ComPtr<ICatRegister> manager;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatRegister, manager.PutVoid()))) {
        // Whatever came back with the failure is released; registration goes on without.
        return S_OK;
    }
    for (const CategoryEntry* entry = categories; entry->kind != 0; ++entry) {
        CATID category = *entry->catid;
        bool implemented = entry->kind == 1;
        if (doRegister) {
            HRESULT result = implemented
                                 ? manager->RegisterClassImplCategories(clsid, 1, &category)
                                 : manager->RegisterClassReqCategories(clsid, 1, &category);
            if (FAILED(result)) {
                return result;
            }
        } else if (implemented) {
            (void)manager->UnRegisterClassImplCategories(clsid, 1, &category);
        } else {
            (void)manager->UnRegisterClassReqCategories(clsid, 1, &category);
        }
    }
    return S_OK;
}
