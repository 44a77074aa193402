#pragma once
// Opens a popup menu on the screen as Explorer does on a right-click, photographs it once the
// platform has drawn it, saves the picture as PNG and closes the menu again.

#include <windows.h>

HRESULT PhotographMenu(HMENU menu, const wchar_t* pngPath);
