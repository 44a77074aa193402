#include "extension/selection_capture.h"

#include <shlobj.h>

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

// The offset of the zero that ends the string at `offset`, units of `unitBytes` bytes. False
// when the block ends first.
bool FindTerminator(const BYTE* block, SIZE_T bytes, SIZE_T offset, SIZE_T unitBytes, SIZE_T& end)
{
    for (end = offset; end + unitBytes <= bytes; end += unitBytes) {
        if (block[end] == 0 && (unitBytes == 1 || block[end + 1] == 0)) {
            return true;
        }
    }
    return false;
}

// One path of the list, `count` units of `unitBytes` bytes at `text`, as a new path buffer:
// wide text is copied, ANSI text converted as the platform's own reader converts it (the ANSI
// code page). A path that does not fit its buffer is refused: cut, it could pass the image test
// or name a file that does not exist.
HRESULT AppendDroppedPath(SelectionList& list, const BYTE* text, SIZE_T count, SIZE_T unitBytes)
{
    // Four bytes at most make one unit of any ANSI code page; longer text cannot fit.
    if (count >= kPathBufferUnits * (unitBytes == 1 ? 4 : 1)) {
        return E_INVALIDARG;
    }
    int units = static_cast<int>(count);
    if (unitBytes == 1) {
        units = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text), units, nullptr, 0);
        if (units <= 0 || units >= static_cast<int>(kPathBufferUnits)) {
            return E_INVALIDARG;
        }
    }
    ModuleBlock<WCHAR> path(PathBufferAlloc());
    if (!path) {
        return E_OUTOFMEMORY;
    }
    if (unitBytes == 1) {
        MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text), static_cast<int>(count), path.Get(),
                            units);
    } else {
        CopyMemory(path.Get(), text, count * sizeof(WCHAR));
    }
    path.Get()[units] = 0;
    if (!list.Append(path.Get())) {
        return E_OUTOFMEMORY;
    }
    path.Detach();
    return S_OK;
}

// Reads the locked dropped-file list itself, once from its start, never past the block's own
// size: the platform's DragQueryFileW walks the list from its start for every index, and a
// selection's capture grew with the square of its size. Malformed blocks (smaller than their
// header, a list outside them, or a list whose last terminator lies outside) are refused.
HRESULT CopyDroppedPaths(SelectionList& list, const BYTE* block, SIZE_T bytes)
{
    if (bytes < sizeof(DROPFILES)) {
        return E_INVALIDARG;
    }
    const auto* header = reinterpret_cast<const DROPFILES*>(block);
    const SIZE_T unitBytes = header->fWide ? sizeof(WCHAR) : 1;
    for (SIZE_T offset = header->pFiles, end = 0;; offset = end + unitBytes) {
        if (offset >= bytes || !FindTerminator(block, bytes, offset, unitBytes, end)) {
            return E_INVALIDARG;
        }
        if (end == offset) {
            return S_OK;  // the empty string that closes the list
        }
        HRESULT result = AppendDroppedPath(list, block + offset, (end - offset) / unitBytes, unitBytes);
        if (FAILED(result)) {
            return result;
        }
    }
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
    const auto* block = static_cast<const BYTE*>(GlobalLock(medium.hGlobal));
    if (!block) {
        return E_INVALIDARG;
    }
    list.Clear();
    HRESULT result = CopyDroppedPaths(list, block, GlobalSize(medium.hGlobal));
    GlobalUnlock(medium.hGlobal);
    if (FAILED(result)) {
        list.Clear();  // never a partial selection
    }
    return result;
}
