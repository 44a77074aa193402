#pragma once
// IContextMenu::QueryContextMenu and GetCommandString: the one menu entry of the extension.

#include <windows.h>

#include "extension/selection_list.h"

inline constexpr const WCHAR* kMenuEntryText = L"&Publish with Vantorel";

// Inserts the entry at indexMenu with identifier idCmdFirst, with the module's bitmap, when
// some selected path names an image, the shell did not ask for the default item only and
// its range idCmdFirst..idCmdLast offers an identifier. Returns 1 (one identifier used) when
// the entry was added, 0 when none was wanted, E_INVALIDARG when the menu refused it.
// Allocates nothing, reads no registry value and touches no file (the bitmap is loaded once
// per module).
HRESULT QueryMenuEntry(const SelectionList& list, HMENU menu, UINT indexMenu, UINT idCmdFirst,
                       UINT idCmdLast, UINT flags);

// Validation requests (GCS_VALIDATEA/W): S_OK for offset 0, S_FALSE for any other. Every
// other request, verbs and help texts included, is E_NOTIMPL: the entry has neither, and the
// caller's buffer is left as it was.
HRESULT GetMenuCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT cchMax);
