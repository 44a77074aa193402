#pragma once
// Interface tables and their walk: how QueryInterface finds the interface pointer of an
// object (or a function that answers for it) from a static table of rows.

#include <objbase.h>

// A function row's resolver: answers a request itself, given the object, the identifier, the
// out pointer and the row's argument.
using InterfaceResolver = HRESULT (*)(void* object, REFIID iid, void** out, DWORD_PTR argument);

// One row. resolver 1: a position row, whose argument is the distance of the interface pointer
// from the object's start; null: the end of the table; any other value: a function row. A row
// with a null iid is tried for every identifier. The first row must be a position row: it
// names the object's identity.
struct InterfaceMapEntry {
    const IID* iid;
    DWORD_PTR argument;
    InterfaceResolver resolver;
};

// The resolver value that marks a position row. A macro, so that tables stay constant data
// (the DLL runs no constructors at load).
#define VTL_POSITION_ROW (reinterpret_cast<InterfaceResolver>(static_cast<DWORD_PTR>(1)))

// E_POINTER for a null out pointer; otherwise the out pointer is cleared first. IID_IUnknown
// yields the first row's interface. Position rows hand out their interface with one AddRef.
// A function row's S_OK ends the walk; so does a failure from a row with an iid; anything else
// goes on to the next row. E_NOINTERFACE when no row answers.
HRESULT QueryInterfaceFromTable(void* object, const InterfaceMapEntry* table, REFIID iid, void** out);
