#pragma once
// The entry in Windows 11's first-level context menu: the same command as the classic menu
// entry, offered through IExplorerCommand, which the shell asks for its title, icon and state
// with the selection as a shell item array.

#include <shobjidl.h>

// The first-level menu shows no access keys, so the title has no ampersand.
inline constexpr const WCHAR* kExplorerCommandTitle = L"Publish with Vantorel";

// ICON resource 202 of the module, drawn from the same picture as the menu bitmap, at 16 and
// 32 pixels; the shell names it by its identifier negated, after the module's path.
constexpr WORD kMenuIconId = 202;
inline constexpr const WCHAR* kMenuIconReference = L",-202";

// The title in a string from the COM task allocator, which the caller frees. E_POINTER
// without an out pointer; E_OUTOFMEMORY when the string cannot be made (out is then null).
HRESULT GetExplorerCommandTitle(WCHAR** title);

// The icon as the shell names icon resources: the module's full path, a comma and the
// negated resource identifier ("C:\...\vtlMenu.dll,-202"), in a task-allocator string. E_POINTER
// without an out pointer; HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) when the module's path
// does not fit 260 units (a cut path would name another file); E_OUTOFMEMORY.
HRESULT GetExplorerCommandIcon(WCHAR** icon);

// ECS_ENABLED when some item's file-system path passes the image name test, ECS_HIDDEN
// otherwise (no items at all included). E_POINTER without an out pointer. No file I/O, no
// registry.
HRESULT GetExplorerCommandState(IShellItemArray* items, EXPCMDSTATE* state);

// Gathers the items' file-system paths in order and launches the publishing application
// exactly as InvokeCommand does with command offset 0, with the same results; E_INVALIDARG
// without an array or for a selection it cannot carry (nothing is then started). Keeps
// nothing: the paths live for the call only.
HRESULT InvokeExplorerCommand(IShellItemArray* items);
