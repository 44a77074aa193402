#include "server/interface_map.h"

namespace {

IUnknown* InterfaceAt(void* object, DWORD_PTR position)
{
    return reinterpret_cast<IUnknown*>(static_cast<BYTE*>(object) + position);
}

HRESULT HandOut(IUnknown* pointer, void** out)
{
    pointer->AddRef();
    *out = pointer;
    return S_OK;
}

}  // namespace

HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
        return HandOut(InterfaceAt(object, table[0].argument), out);
    }
    for (const InterfaceMapEntry* row = table; row->resolver; ++row) {
        if (row->iid && !IsEqualIID(*row->iid, iid)) {
            continue;
        }
        if (row->resolver == VTL_POSITION_ROW) {
            return HandOut(InterfaceAt(object, row->argument), out);
        }
        HRESULT result = row->resolver(object, iid, out, row->argument);
        if (result == S_OK || (row->iid && FAILED(result))) {
            return result;
        }
    }
    return E_NOINTERFACE;
}
