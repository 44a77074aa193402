#pragma once
// The VTLShlExt object's COM identity: its layout as a record of interface pointers, its
// interface table, reference counts coupled to the module lock count, creation in plain and
// aggregated form, and destruction. Behind the interfaces it delegates to the extension
// (selection, menu entry, launch) and to the dispatch functions of IVTLShlExt.

#include <shlobj.h>

#include "extension/selection_list.h"
#include "server/interface_map.h"

struct VTLShlExtTable;
struct ShellExtInitTable;
struct ContextMenuTable;
struct InnerUnknownTable;

// The plain object. Its identity is the first interface pointer.
struct VTLShlExtObject {
    const VTLShlExtTable* shlExt;  // IVTLShlExt, also answered for IDispatch and IUnknown
    const ShellExtInitTable* shellExtInit;
    const ContextMenuTable* contextMenu;
    LONG refCount;  // plain increments: the class lives in single-threaded apartments
    SelectionList selection;
};

// The object inside an aggregate: the same interfaces, whose QueryInterface, AddRef and
// Release go to the outer (controlling) unknown, which is kept where the plain object keeps
// its count. The aggregate never holds a reference on the outer unknown.
struct VTLShlExtContained {
    const VTLShlExtTable* shlExt;
    const ShellExtInitTable* shellExtInit;
    const ContextMenuTable* contextMenu;
    IUnknown* outer;
    SelectionList selection;
};

struct VTLShlExtAggregate {
    const InnerUnknownTable* innerUnknown;
    LONG innerRefCount;
    VTLShlExtContained contained;
};

// IVTLShlExt and IDispatch at the first interface pointer, IShellExtInit at the second,
// IContextMenu at the third.
extern const InterfaceMapEntry vtlShlExtInterfaceMap[];

// The class row's object creator: plain without an outer unknown, aggregated with one (then
// only for IID_IUnknown: CLASS_E_NOAGGREGATION otherwise). Each live object holds one count
// on the module lock count; a creation that fails leaves it, and the heaps, as they were.
HRESULT CreateVTLShlExt(IUnknown* outer, REFIID iid, void** out);
