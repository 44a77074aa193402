#pragma once
// The picture beside the menu entry: BITMAP resource 201 of the module.

#include <windows.h>

constexpr WORD kMenuBitmapId = 201;

// The module's one bitmap handle, loaded from theModule's instance on first use (under
// generalLock, so racing threads get the same handle) and deleted at tear-down by an exit
// callback. Every menu shares it; no menu owns it. Null when it cannot be loaded.
HBITMAP MenuBitmap();
