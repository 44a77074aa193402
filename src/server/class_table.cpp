#include "server/class_object_entry.h"
#include "server/vtl_guids.h"

namespace {

// Registration, the class factory and the object come with their own steps; until then the
// row answers as a class the module cannot yet serve.
HRESULT UpdateVTLShlExtRegistry(BOOL /*doRegister*/)
{
    return E_NOTIMPL;
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
    {&CLSID_VTLShlExt, UpdateVTLShlExtRegistry, nullptr, nullptr, nullptr, 0, NoDescription,
     NoCategories, NoClassHook},
    {},
};
