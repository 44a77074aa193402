#include "extension/shell_item_selection.h"

#include "extension/image_name.h"
#include "runtime/com_ptr.h"
#include "runtime/module_block.h"
#include "runtime/unique_resource.h"

namespace {

// The item's file-system path, or an empty owner when it has none.
UniqueCoTaskString FileSystemPathAt(IShellItemArray* items, DWORD index)
{
    ComPtr<IShellItem> item;
    UniqueCoTaskString path;
    if (SUCCEEDED(items->GetItemAt(index, item.Put())) && item) {
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Put()))) {
            // Not ours to free: the platform here hands back a pointer it has already freed
            // when the item has no file-system path.
            path.Detach();
        }
    }
    return path;
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
    if (static_cast<UINT32>(lstrlenW(path)) >= kPathBufferUnits) {
        return E_INVALIDARG;
    }
    ModuleBlock<WCHAR> buffer(PathBufferAlloc());
    if (!buffer) {
        return E_OUTOFMEMORY;
    }
    lstrcpynW(buffer.Get(), path, kPathBufferUnits);
    if (!list.Append(buffer.Get())) {
        return E_OUTOFMEMORY;
    }
    buffer.Detach();
    return S_OK;
}

}  // namespace

bool ShellItemsShowEntry(IShellItemArray* items)
{
    bool image = false;
    DWORD count = ItemCount(items);
    for (DWORD index = 0; index < count; ++index) {
        UniqueCoTaskString path = FileSystemPathAt(items, index);
        if (!path) {
            continue;
        }
        if (static_cast<UINT32>(lstrlenW(path.Get())) >= kPathBufferUnits) {
            return false;
        }
        image = image || ImageNameFilter(path.Get());
    }
    return image;
}

HRESULT CaptureShellItems(SelectionList& list, IShellItemArray* items)
{
    list.Clear();
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count))) {
        return E_INVALIDARG;
    }
    for (DWORD index = 0; index < count; ++index) {
        UniqueCoTaskString path = FileSystemPathAt(items, index);
        if (!path) {
            continue;
        }
        HRESULT result = AppendCopy(list, path.Get());
        if (FAILED(result)) {
            list.Clear();
            return result;
        }
    }
    return S_OK;
}
