#include "extension/shell_item_selection.h"

#include "extension/image_name.h"
#include "runtime/com_ptr.h"
#include "runtime/unique_resource.h"

namespace {

// The item's file-system path: S_OK with the path, S_FALSE with none for an item that has no
// file-system path (the platform answers E_INVALIDARG for it), or the failure that kept the
// item from being read.
HRESULT FileSystemPathAt(IShellItemArray* items, DWORD index, UniqueCoTaskString& path)
{
    ComPtr<IShellItem> item;
    HRESULT result = items->GetItemAt(index, item.Put());
    if (FAILED(result) || !item) {
        return FAILED(result) ? result : E_UNEXPECTED;
    }
    result = item->GetDisplayName(SIGDN_FILESYSPATH, path.Put());
    if (FAILED(result)) {
        // Not ours to free: the platform here hands back a pointer it has already freed
        // when the item has no file-system path.
        path.Detach();
        return result == E_INVALIDARG ? S_FALSE : result;
    }
    return S_OK;
}

DWORD ItemCount(IShellItemArray* items)
{
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count))) {
        return 0;
    }
    return count;
}

HRESULT AppendCopy(SelectionList& list, const WCHAR* path)
{
    const UINT32 units = static_cast<UINT32>(lstrlenW(path));
    if (units >= kPathBufferUnits) {
        return E_INVALIDARG;
    }
    return list.Append(path, units) ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

bool ShellItemsShowEntry(IShellItemArray* items)
{
    DWORD count = ItemCount(items);
    for (DWORD index = 0; index < count; ++index) {
        UniqueCoTaskString path;
        if (FileSystemPathAt(items, index, path) != S_OK) {
            continue;
        }
        if (static_cast<UINT32>(lstrlenW(path.Get())) >= kPathBufferUnits) {
            return false;
        }
        if (ImageNameFilter(path.Get())) {
            return true;
        }
    }
    return false;
}

HRESULT CaptureShellItems(SelectionList& list, IShellItemArray* items)
{
    list.Clear();
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count))) {
        return E_INVALIDARG;
    }
    for (DWORD index = 0; index < count; ++index) {
        UniqueCoTaskString path;
        HRESULT result = FileSystemPathAt(items, index, path);
        if (result == S_FALSE) {
            continue;
        }
        if (SUCCEEDED(result)) {
            result = AppendCopy(list, path.Get());
        }
        if (FAILED(result)) {
            list.Clear();
            return result;
        }
    }
    return S_OK;
}
