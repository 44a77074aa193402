#include "regscript/script_source.h"
#include "server/class_factory.h"
#include "server/class_object_entry.h"
#include "server/vtl_guids.h"
#include "server/vtl_explorer_command.h"
#include "server/vtl_shl_ext.h"

namespace {

// The class's keys come from its registry script, REGISTRY resource 101 of the module's file.
HRESULT UpdateVTLShlExtRegistry(BOOL doRegister)
{
    return ApplyRegistryResource(theModule, 101, doRegister, nullptr);
}

const WCHAR* NoDescription()
{
    return nullptr;
}

const CategoryEntry* NoCategories()
{
    return nullptr;
}

void NoClassHook(bool /*starting*/) {}

}  // namespace

ClassObjectEntry vtlMenuClassTable[] = {
    {&CLSID_VTLShlExt, UpdateVTLShlExtRegistry, CreateClassFactory, CreateVTLShlExt, nullptr, 0,
     NoDescription, NoCategories, NoClassHook},
    // Declared by its package manifest, not in the registry: the row has no registry entries,
    // so regsvr32's work, either way, is the classic handler's alone.
    {&CLSID_VTLExplorerCommand, nullptr, CreateClassFactory, CreateVTLExplorerCommand, nullptr, 0,
     NoDescription, NoCategories, NoClassHook},
    {},
};
