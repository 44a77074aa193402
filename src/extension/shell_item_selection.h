#pragma once
// The selection as Explorer hands it to a command: a shell item array, read for the items'
// file-system paths in the array's order.

#include <shobjidl.h>

#include "extension/selection_list.h"

// True when the entry belongs in the menu: an item's file-system path passes the image name
// test, and every path before it fits its 260-unit buffer. It stops at that first image, so a
// large selection costs what its first image's position costs; Invoke refuses a later path
// that does not fit. Reads only the items' names, as the shell
// already holds them: no file is opened and no registry value read. Items without a
// file-system path (a printer, a control panel page) are passed over; so is a null array.
bool ShellItemsShowEntry(IShellItemArray* items);

// Empties the list and fills it with every item's file-system path, in the array's order,
// passing over items that have none. S_OK; E_INVALIDARG without an array, when the array
// cannot be read, or for a path that does not fit its 260-unit buffer (it would be cut into
// the name of another file); the item's own failure when an item cannot be read (a partial
// selection is never published); E_OUTOFMEMORY when the module heaps run out. After a failure
// the list is empty, never partial.
HRESULT CaptureShellItems(SelectionList& list, IShellItemArray* items);
