#include "extension/explorer_command_entry.h"

#include "extension/bounded_text.h"
#include "extension/launch.h"
#include "extension/shell_item_selection.h"
#include "runtime/module_state.h"

namespace {

HRESULT TaskStringCopy(const WCHAR* text, WCHAR** out)
{
    SIZE_T bytes = (static_cast<SIZE_T>(lstrlenW(text)) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    CopyMemory(copy, text, bytes);
    *out = copy;
    return S_OK;
}

}  // namespace

HRESULT GetExplorerCommandTitle(WCHAR** title)
{
    if (!title) {
        return E_POINTER;
    }
    *title = nullptr;
    return TaskStringCopy(kExplorerCommandTitle, title);
}

HRESULT GetExplorerCommandIcon(WCHAR** icon)
{
    if (!icon) {
        return E_POINTER;
    }
    *icon = nullptr;
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(theModule->instance, path, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    WCHAR reference[MAX_PATH + 8];
    BoundedText text(reference, ARRAYSIZE(reference));
    text.Append(path);
    text.Append(kMenuIconReference);
    return TaskStringCopy(reference, icon);
}

HRESULT GetExplorerCommandState(IShellItemArray* items, EXPCMDSTATE* state)
{
    if (!state) {
        return E_POINTER;
    }
    *state = ShellItemsShowEntry(items) ? ECS_ENABLED : ECS_HIDDEN;
    return S_OK;
}

HRESULT InvokeExplorerCommand(IShellItemArray* items)
{
    SelectionList list = {};
    HRESULT result = CaptureShellItems(list, items);
    if (SUCCEEDED(result)) {
        result = LaunchPublisher(list, 0);
    }
    list.Destroy();
    return result;
}
