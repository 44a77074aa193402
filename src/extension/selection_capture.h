#pragma once
// IShellExtInit::Initialize: copies every path of the selection's dropped-file list into the
// object's SelectionList.

#include <objidl.h>

#include "extension/selection_list.h"

// S_OK: the list holds every path of the dropped-file list in its order (an empty list for an
// empty selection). E_INVALIDARG: no data object, no dropped-file list in global memory, or
// memory that cannot be locked; the list is then unchanged. E_INVALIDARG also when the block
// is malformed (smaller than its DROPFILES header, the list outside it, or the list's last
// terminator outside it) or a path does not fit its buffer (260 units with the terminator):
// the list is then empty, and no path is ever stored cut. Wide and ANSI lists are read, in one
// pass, within the block's own size. E_OUTOFMEMORY: the module heaps ran out part-way; the list is
// then empty, never partial.
HRESULT CaptureSelection(SelectionList& list, IDataObject* dataObject);
