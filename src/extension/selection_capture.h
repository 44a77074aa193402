#pragma once
// IShellExtInit::Initialize: copies every path of the selection's dropped-file list into the
// object's SelectionList.

#include <objidl.h>

#include "extension/selection_list.h"

// S_OK: the list holds every path of the dropped-file list in its order (an empty list for an
// empty selection). E_INVALIDARG: no data object, no dropped-file list in global memory, or
// memory that cannot be locked; the list is then unchanged. E_INVALIDARG also when a path
// does not fit its buffer (260 units with the terminator): the list is then empty, and no
// path is ever stored cut. E_OUTOFMEMORY: the module heaps ran out part-way; the list is
// then empty, never partial.
HRESULT CaptureSelection(SelectionList& list, IDataObject* dataObject);
