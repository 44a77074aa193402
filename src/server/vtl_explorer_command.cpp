#include "server/vtl_explorer_command.h"

#include <cstddef>

#include "extension/explorer_command_entry.h"
#include "runtime/module_heaps.h"
#include "server/vtl_guids.h"

struct ExplorerCommandTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(VTLExplorerCommandObject* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(VTLExplorerCommandObject* self);
    ULONG(STDMETHODCALLTYPE* Release)(VTLExplorerCommandObject* self);
    HRESULT(STDMETHODCALLTYPE* GetTitle)(VTLExplorerCommandObject* self, IShellItemArray* items, LPWSTR* name);
    HRESULT(STDMETHODCALLTYPE* GetIcon)(VTLExplorerCommandObject* self, IShellItemArray* items, LPWSTR* icon);
    HRESULT(STDMETHODCALLTYPE* GetToolTip)(VTLExplorerCommandObject* self, IShellItemArray* items, LPWSTR* tip);
    HRESULT(STDMETHODCALLTYPE* GetCanonicalName)(VTLExplorerCommandObject* self, GUID* name);
    HRESULT(STDMETHODCALLTYPE* GetState)(VTLExplorerCommandObject* self, IShellItemArray* items, BOOL okToBeSlow,
                                         EXPCMDSTATE* state);
    HRESULT(STDMETHODCALLTYPE* Invoke)(VTLExplorerCommandObject* self, IShellItemArray* items, IBindCtx* context);
    HRESULT(STDMETHODCALLTYPE* GetFlags)(VTLExplorerCommandObject* self, EXPCMDFLAGS* flags);
    HRESULT(STDMETHODCALLTYPE* EnumSubCommands)(VTLExplorerCommandObject* self, IEnumExplorerCommand** commands);
};

const InterfaceMapEntry vtlExplorerCommandInterfaceMap[] = {
    {&IID_IExplorerCommand, offsetof(VTLExplorerCommandObject, explorerCommand), VTL_POSITION_ROW},
    {nullptr, 0, nullptr},
};

namespace {

void Destroy(VTLExplorerCommandObject* object)
{
    object->refCount = 1;  // guards against a release from within the destruction
    InterlockedDecrement(&theModule->lockCount);
    ModuleFree(object);
}

HRESULT STDMETHODCALLTYPE QueryInterface(VTLExplorerCommandObject* self, REFIID iid, void** out)
{
    return QueryInterfaceFromTable(self, vtlExplorerCommandInterfaceMap, iid, out);
}

ULONG STDMETHODCALLTYPE AddRef(VTLExplorerCommandObject* self)
{
    return ++self->refCount;
}

ULONG STDMETHODCALLTYPE Release(VTLExplorerCommandObject* self)
{
    LONG count = --self->refCount;
    if (count == 0) {
        Destroy(self);
    }
    return count;
}

HRESULT STDMETHODCALLTYPE GetTitle(VTLExplorerCommandObject*, IShellItemArray*, LPWSTR* name)
{
    return GetExplorerCommandTitle(name);
}

HRESULT STDMETHODCALLTYPE GetIcon(VTLExplorerCommandObject*, IShellItemArray*, LPWSTR* icon)
{
    return GetExplorerCommandIcon(icon);
}

HRESULT STDMETHODCALLTYPE GetToolTip(VTLExplorerCommandObject*, IShellItemArray*, LPWSTR* tip)
{
    if (!tip) {
        return E_POINTER;
    }
    *tip = nullptr;
    return E_NOTIMPL;  // the shell then shows no tip
}

HRESULT STDMETHODCALLTYPE GetCanonicalName(VTLExplorerCommandObject*, GUID* name)
{
    if (!name) {
        return E_POINTER;
    }
    *name = kExplorerCommandCanonicalName;
    return S_OK;
}

// The shell may ask again with okToBeSlow set when a first answer takes too long; ours never
// does, so the flag changes nothing.
HRESULT STDMETHODCALLTYPE GetState(VTLExplorerCommandObject*, IShellItemArray* items, BOOL /*okToBeSlow*/,
                                   EXPCMDSTATE* state)
{
    return GetExplorerCommandState(items, state);
}

HRESULT STDMETHODCALLTYPE Invoke(VTLExplorerCommandObject*, IShellItemArray* items, IBindCtx* /*context*/)
{
    return InvokeExplorerCommand(items);
}

HRESULT STDMETHODCALLTYPE GetFlags(VTLExplorerCommandObject*, EXPCMDFLAGS* flags)
{
    if (!flags) {
        return E_POINTER;
    }
    *flags = ECF_DEFAULT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE EnumSubCommands(VTLExplorerCommandObject*, IEnumExplorerCommand** commands)
{
    if (!commands) {
        return E_POINTER;
    }
    *commands = nullptr;
    return E_NOTIMPL;  // one command, no submenu
}

const ExplorerCommandTable explorerCommandTable = {QueryInterface, AddRef, Release, GetTitle, GetIcon,
                                                   GetToolTip, GetCanonicalName, GetState, Invoke, GetFlags,
                                                   EnumSubCommands};

}  // namespace

HRESULT CreateVTLExplorerCommand(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* object = static_cast<VTLExplorerCommandObject*>(ModuleAlloc(sizeof(VTLExplorerCommandObject)));
    if (!object) {
        return E_OUTOFMEMORY;
    }
    object->explorerCommand = &explorerCommandTable;
    object->refCount = 0;
    InterlockedIncrement(&theModule->lockCount);

    HRESULT result = QueryInterface(object, iid, out);
    if (result != S_OK) {
        Destroy(object);
    }
    return result;
}
