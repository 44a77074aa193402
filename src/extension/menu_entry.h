#pragma once
// IContextMenu::QueryContextMenu and GetCommandString: the one menu entry of the extension.

#include <windows.h>

#include "extension/selection_list.h"

inline constexpr const WCHAR* kMenuEntryText = L"&Publish with Vantorel";

// Inserts the entry at indexMenu with identifier idCmdFirst, with the module's bitmap, when
// some selected path names an image and the shell did not ask for the default item only.
// Returns 1 (one identifier used) when the entry was added, 0 otherwise; never a failure.
// Allocates nothing, reads no registry value and touches no file (the bitmap is loaded once
// per module).
HRESULT QueryMenuEntry(const SelectionList& list, HMENU menu, UINT indexMenu, UINT idCmdFirst,
                       UINT idCmdLast, UINT flags);

// The entry offers no help text and no verb: S_OK, and the caller's buffer is left as it was.
HRESULT GetMenuCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT cchMax);
