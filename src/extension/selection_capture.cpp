#include "extension/selection_capture.h"

#include <shellapi.h>

#include "runtime/module_block.h"

namespace {

// The medium GetData filled in; freed however its provider asks (ReleaseStgMedium).
class ReleasedMedium {
public:
    explicit ReleasedMedium(STGMEDIUM& medium) noexcept : medium_(medium) {}
    ~ReleasedMedium() { ReleaseStgMedium(&medium_); }
    ReleasedMedium(const ReleasedMedium&) = delete;
    ReleasedMedium& operator=(const ReleasedMedium&) = delete;

private:
    STGMEDIUM& medium_;
};

HRESULT CopyDroppedPaths(SelectionList& list, HDROP drop)
{
    INT count = static_cast<INT>(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
    for (INT index = 0; index < count; ++index) {
        ModuleBlock<WCHAR> path(PathBufferAlloc());
        if (!path) {
            list.Clear();
            return E_OUTOFMEMORY;
        }
        // An entry the platform cannot deliver (count 0) is passed over rather than stored as
        // an undefined text.
        UINT copied = DragQueryFileW(drop, static_cast<UINT>(index), path.Get(), kPathBufferUnits);
        if (copied == 0) {
            continue;
        }
        // A copy that filled the buffer may have been cut, and a cut name can pass the image
        // test or name a file that does not exist: such a path's whole length is asked for,
        // and one that does not fit fails the selection. Shorter paths are not asked twice,
        // since the platform walks the list from its start for every call.
        if (copied >= kPathBufferUnits - 1 &&
            DragQueryFileW(drop, static_cast<UINT>(index), nullptr, 0) >= kPathBufferUnits) {
            list.Clear();
            return E_INVALIDARG;
        }
        if (!list.Append(path.Get())) {
            list.Clear();
            return E_OUTOFMEMORY;
        }
        path.Detach();
    }
    return S_OK;
}

}  // namespace

HRESULT CaptureSelection(SelectionList& list, IDataObject* dataObject)
{
    if (!dataObject) {
        return E_INVALIDARG;
    }
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = nullptr;
    medium.pUnkForRelease = nullptr;
    if (FAILED(dataObject->GetData(&format, &medium))) {
        return E_INVALIDARG;
    }
    ReleasedMedium release(medium);
    // A provider that answers with another kind of medium has no dropped-file list for us.
    if (medium.tymed != TYMED_HGLOBAL) {
        return E_INVALIDARG;
    }
    auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
    if (!drop) {
        return E_INVALIDARG;
    }
    list.Clear();
    HRESULT result = CopyDroppedPaths(list, drop);
    GlobalUnlock(medium.hGlobal);
    return result;
}
