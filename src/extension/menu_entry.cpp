#include "extension/menu_entry.h"

#include <shlobj.h>

#include "extension/image_name.h"
#include "extension/menu_bitmap.h"

namespace {

bool SelectionHasImage(const SelectionList& list)
{
    for (UINT32 index = 0; index < list.Size(); ++index) {
        if (ImageNameFilter(list.At(index))) {
            return true;
        }
    }
    return false;
}

}  // namespace

HRESULT QueryMenuEntry(const SelectionList& list, HMENU menu, UINT indexMenu, UINT idCmdFirst,
                       UINT idCmdLast, UINT flags)
{
    constexpr HRESULT kNoEntry = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    constexpr HRESULT kOneEntry = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
    if (!SelectionHasImage(list)) {
        return kNoEntry;
    }
    // The only flag consulted: the shell asks for its default item alone (a double-click).
    if (flags & CMF_DEFAULTONLY) {
        return kNoEntry;
    }
    // A range the shell left empty offers no identifier: taking one anyway could collide
    // with another handler's command.
    if (idCmdFirst > idCmdLast) {
        return kNoEntry;
    }
    if (!InsertMenuW(menu, indexMenu, MF_BYPOSITION | MF_STRING, idCmdFirst, kMenuEntryText)) {
        return E_INVALIDARG;
    }
    if (HBITMAP bitmap = MenuBitmap()) {
        SetMenuItemBitmaps(menu, indexMenu, MF_BYPOSITION, bitmap, bitmap);
    }
    return kOneEntry;
}

HRESULT GetMenuCommandString(UINT_PTR idCmd, UINT type, UINT* /*reserved*/, CHAR* /*name*/,
                             UINT /*cchMax*/)
{
    if (type == GCS_VALIDATEA || type == GCS_VALIDATEW) {
        return idCmd == 0 ? S_OK : S_FALSE;  // offset 0 is the one command
    }
    // No verb and no help text: the caller's buffer is never written.
    return E_NOTIMPL;
}
