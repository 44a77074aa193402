#pragma once
// The VTLExplorerCommand object's COM identity: one interface, IExplorerCommand, answered
// from its interface table; a reference count; one count on the module lock count while it
// lives. Behind the interface it delegates to the extension's Explorer command entry. The
// object keeps no selection: the shell hands the items to every call.

#include <shobjidl.h>

#include "server/interface_map.h"

struct ExplorerCommandTable;

struct VTLExplorerCommandObject {
    const ExplorerCommandTable* explorerCommand;  // IExplorerCommand, also the identity
    LONG refCount;  // plain increments: the class lives in single-threaded apartments
};

extern const InterfaceMapEntry vtlExplorerCommandInterfaceMap[];

// The class row's object creator. The class cannot be aggregated: with an outer unknown,
// CLASS_E_NOAGGREGATION. A creation that fails leaves the lock count and the heaps as they were.
HRESULT CreateVTLExplorerCommand(IUnknown* outer, REFIID iid, void** out);
