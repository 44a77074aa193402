#include "server/vtl_shl_ext.h"

#include <cstddef>

#include "extension/launch.h"
#include "extension/menu_entry.h"
#include "extension/selection_capture.h"
#include "runtime/module_heaps.h"
#include "server/vtl_guids.h"
#include "server/vtl_shl_ext_dispatch.h"

struct VTLShlExtTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(void* self);
    ULONG(STDMETHODCALLTYPE* Release)(void* self);
    HRESULT(STDMETHODCALLTYPE* GetTypeInfoCount)(IDispatch* self, UINT* count);
    HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(IDispatch* self, UINT index, LCID locale, ITypeInfo** info);
    HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)(IDispatch* self, REFIID iid, LPOLESTR* names, UINT count,
                                              LCID locale, DISPID* ids);
    HRESULT(STDMETHODCALLTYPE* Invoke)(IDispatch* self, DISPID member, REFIID iid, LCID locale, WORD flags,
                                       DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                       UINT* argumentError);
};

struct ShellExtInitTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(void* self);
    ULONG(STDMETHODCALLTYPE* Release)(void* self);
    HRESULT(STDMETHODCALLTYPE* Initialize)(void* self, PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId);
};

struct ContextMenuTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(void* self);
    ULONG(STDMETHODCALLTYPE* Release)(void* self);
    HRESULT(STDMETHODCALLTYPE* QueryContextMenu)(void* self, HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                                 UINT idCmdLast, UINT flags);
    HRESULT(STDMETHODCALLTYPE* InvokeCommand)(void* self, CMINVOKECOMMANDINFO* info);
    HRESULT(STDMETHODCALLTYPE* GetCommandString)(void* self, UINT_PTR idCmd, UINT type, UINT* reserved,
                                                 CHAR* name, UINT cchMax);
};

struct InnerUnknownTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void* self, REFIID iid, void** out);
    ULONG(STDMETHODCALLTYPE* AddRef)(void* self);
    ULONG(STDMETHODCALLTYPE* Release)(void* self);
};

const InterfaceMapEntry vtlShlExtInterfaceMap[] = {
    {&IID_IVTLShlExt, offsetof(VTLShlExtObject, shlExt), VTL_POSITION_ROW},
    {&IID_IDispatch, offsetof(VTLShlExtObject, shlExt), VTL_POSITION_ROW},
    {&IID_IShellExtInit, offsetof(VTLShlExtObject, shellExtInit), VTL_POSITION_ROW},
    {&IID_IContextMenu, offsetof(VTLShlExtObject, contextMenu), VTL_POSITION_ROW},
    {nullptr, 0, nullptr},
};

namespace {

// Both forms begin with the same three interface pointers and keep their selection at the
// same place, so the shell methods below serve both.
static_assert(offsetof(VTLShlExtContained, shellExtInit) == offsetof(VTLShlExtObject, shellExtInit), "");
static_assert(offsetof(VTLShlExtContained, contextMenu) == offsetof(VTLShlExtObject, contextMenu), "");
static_assert(offsetof(VTLShlExtContained, selection) == offsetof(VTLShlExtObject, selection), "");

// The object's start, from its interface pointer number Index (0, 1, 2).
template <int Index>
BYTE* StartOf(void* self)
{
    return static_cast<BYTE*>(self) - Index * sizeof(void*);
}

SelectionList& SelectionOf(BYTE* start)
{
    return reinterpret_cast<VTLShlExtObject*>(start)->selection;
}

// The shell's operations, the same for both forms.

HRESULT STDMETHODCALLTYPE Initialize(void* self, PCIDLIST_ABSOLUTE /*folder*/, IDataObject* data, HKEY /*progId*/)
{
    return CaptureSelection(SelectionOf(StartOf<1>(self)), data);
}

HRESULT STDMETHODCALLTYPE QueryContextMenu(void* self, HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                           UINT idCmdLast, UINT flags)
{
    return QueryMenuEntry(SelectionOf(StartOf<2>(self)), menu, indexMenu, idCmdFirst, idCmdLast, flags);
}

HRESULT STDMETHODCALLTYPE InvokeCommand(void* self, CMINVOKECOMMANDINFO* info)
{
    return InvokePublishCommand(SelectionOf(StartOf<2>(self)), info);
}

HRESULT STDMETHODCALLTYPE GetCommandString(void* /*self*/, UINT_PTR idCmd, UINT type, UINT* reserved,
                                           CHAR* name, UINT cchMax)
{
    return GetMenuCommandString(idCmd, type, reserved, name, cchMax);
}

// The plain object.

template <int Index>
VTLShlExtObject* PlainFrom(void* self)
{
    return reinterpret_cast<VTLShlExtObject*>(StartOf<Index>(self));
}

void DestroyPlain(VTLShlExtObject* object)
{
    object->refCount = 1;  // guards against a release from within the destruction
    InterlockedDecrement(&theModule->lockCount);
    object->selection.Destroy();
    ModuleFree(object);
}

template <int Index>
HRESULT STDMETHODCALLTYPE PlainQueryInterface(void* self, REFIID iid, void** out)
{
    return QueryInterfaceFromTable(PlainFrom<Index>(self), vtlShlExtInterfaceMap, iid, out);
}

template <int Index>
ULONG STDMETHODCALLTYPE PlainAddRef(void* self)
{
    return ++PlainFrom<Index>(self)->refCount;
}

template <int Index>
ULONG STDMETHODCALLTYPE PlainRelease(void* self)
{
    VTLShlExtObject* object = PlainFrom<Index>(self);
    LONG count = --object->refCount;
    if (count == 0) {
        DestroyPlain(object);
    }
    return count;
}

const VTLShlExtTable plainShlExt = {PlainQueryInterface<0>, PlainAddRef<0>, PlainRelease<0>,
                                    VTLShlExtGetTypeInfoCount, VTLShlExtGetTypeInfo, VTLShlExtGetIDsOfNames,
                                    VTLShlExtInvoke};
const ShellExtInitTable plainShellExtInit = {PlainQueryInterface<1>, PlainAddRef<1>, PlainRelease<1>, Initialize};
const ContextMenuTable plainContextMenu = {PlainQueryInterface<2>, PlainAddRef<2>, PlainRelease<2>,
                                           QueryContextMenu, InvokeCommand, GetCommandString};

// The object inside an aggregate.

template <int Index>
VTLShlExtContained* ContainedFrom(void* self)
{
    return reinterpret_cast<VTLShlExtContained*>(StartOf<Index>(self));
}

template <int Index>
HRESULT STDMETHODCALLTYPE ContainedQueryInterface(void* self, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    VTLShlExtContained* contained = ContainedFrom<Index>(self);
    HRESULT result = contained->outer->QueryInterface(iid, out);
    if (SUCCEEDED(result)) {
        return result;
    }
    return QueryInterfaceFromTable(contained, vtlShlExtInterfaceMap, iid, out);
}

template <int Index>
ULONG STDMETHODCALLTYPE ContainedAddRef(void* self)
{
    return ContainedFrom<Index>(self)->outer->AddRef();
}

template <int Index>
ULONG STDMETHODCALLTYPE ContainedRelease(void* self)
{
    return ContainedFrom<Index>(self)->outer->Release();
}

const VTLShlExtTable containedShlExt = {ContainedQueryInterface<0>, ContainedAddRef<0>, ContainedRelease<0>,
                                        VTLShlExtGetTypeInfoCount, VTLShlExtGetTypeInfo,
                                        VTLShlExtGetIDsOfNames, VTLShlExtInvoke};
const ShellExtInitTable containedShellExtInit = {ContainedQueryInterface<1>, ContainedAddRef<1>,
                                                 ContainedRelease<1>, Initialize};
const ContextMenuTable containedContextMenu = {ContainedQueryInterface<2>, ContainedAddRef<2>,
                                               ContainedRelease<2>, QueryContextMenu, InvokeCommand,
                                               GetCommandString};

// The aggregate's inner unknown, through which the outer object holds it.

VTLShlExtAggregate* AggregateFrom(void* self)
{
    return static_cast<VTLShlExtAggregate*>(self);
}

void DestroyAggregate(VTLShlExtAggregate* aggregate)
{
    aggregate->innerRefCount = 1;
    InterlockedDecrement(&theModule->lockCount);
    aggregate->contained.selection.Destroy();
    ModuleFree(aggregate);
}

ULONG STDMETHODCALLTYPE InnerAddRef(void* self)
{
    return ++AggregateFrom(self)->innerRefCount;
}

HRESULT STDMETHODCALLTYPE InnerQueryInterface(void* self, REFIID iid, void** out)
{
    if (!IsEqualIID(iid, IID_IUnknown)) {
        return QueryInterfaceFromTable(&AggregateFrom(self)->contained, vtlShlExtInterfaceMap, iid, out);
    }
    if (!out) {
        return E_POINTER;
    }
    *out = self;
    InnerAddRef(self);
    return S_OK;
}

ULONG STDMETHODCALLTYPE InnerRelease(void* self)
{
    VTLShlExtAggregate* aggregate = AggregateFrom(self);
    LONG count = --aggregate->innerRefCount;
    if (count == 0) {
        DestroyAggregate(aggregate);
    }
    return count;
}

const InnerUnknownTable innerUnknown = {InnerQueryInterface, InnerAddRef, InnerRelease};

HRESULT CreatePlain(REFIID iid, void** out)
{
    auto* object = static_cast<VTLShlExtObject*>(ModuleAlloc(sizeof(VTLShlExtObject)));
    if (!object) {
        return E_OUTOFMEMORY;
    }
    object->shlExt = &plainShlExt;
    object->shellExtInit = &plainShellExtInit;
    object->contextMenu = &plainContextMenu;
    object->refCount = 0;
    object->selection = SelectionList{};
    InterlockedIncrement(&theModule->lockCount);

    HRESULT result = PlainQueryInterface<0>(object, iid, out);
    if (result != S_OK) {
        DestroyPlain(object);
    }
    return result;
}

HRESULT CreateAggregate(IUnknown* outer, REFIID iid, void** out)
{
    auto* aggregate = static_cast<VTLShlExtAggregate*>(ModuleAlloc(sizeof(VTLShlExtAggregate)));
    if (!aggregate) {
        return E_OUTOFMEMORY;
    }
    aggregate->innerUnknown = &innerUnknown;
    aggregate->innerRefCount = 0;
    aggregate->contained.shlExt = &containedShlExt;
    aggregate->contained.shellExtInit = &containedShellExtInit;
    aggregate->contained.contextMenu = &containedContextMenu;
    aggregate->contained.outer = outer;
    aggregate->contained.selection = SelectionList{};
    InterlockedIncrement(&theModule->lockCount);

    HRESULT result = InnerQueryInterface(aggregate, iid, out);
    if (result != S_OK) {
        DestroyAggregate(aggregate);
    }
    return result;
}

}  // namespace

HRESULT CreateVTLShlExt(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!outer) {
        return CreatePlain(iid, out);
    }
    // An aggregate hands its outer object the inner unknown, nothing else.
    if (!IsEqualIID(iid, IID_IUnknown)) {
        return CLASS_E_NOAGGREGATION;
    }
    return CreateAggregate(outer, iid, out);
}
