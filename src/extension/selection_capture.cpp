#include "extension/selection_capture.h"

#include <shlobj.h>


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

// The wide units of one path of the list: `count` units of `unitBytes` bytes at `text`, wide
// or ANSI (converted as the platform's own reader converts it, with the ANSI code page).
// E_INVALIDARG for a path that does not fit kPathBufferUnits: cut, it could pass the image test
// or name a file that does not exist.
HRESULT WideUnitsOf(const BYTE* text, SIZE_T count, SIZE_T unitBytes, UINT32& units)
{
    // Four bytes at most make one unit of any ANSI code page; longer text cannot fit.
    if (count >= kPathBufferUnits * (unitBytes == 1 ? 4 : 1)) {
        return E_INVALIDARG;
    }
    int wide = static_cast<int>(count);
    if (unitBytes == 1) {
        wide = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text), wide, nullptr, 0);
    }
    if (wide <= 0 || wide >= static_cast<int>(kPathBufferUnits)) {
        return E_INVALIDARG;
    }
    units = static_cast<UINT32>(wide);
    return S_OK;
}

// Walks the locked dropped-file list once from its start, never past the block's own size,
// and hands each path (its text, its units of `unitBytes` bytes, its wide units) to `visit`.
// Malformed blocks (smaller than their header, a list outside them, or a list whose last
// terminator lies outside) are refused.
template <typename Visit>
HRESULT WalkDroppedPaths(const BYTE* block, SIZE_T bytes, Visit visit)
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
        const SIZE_T count = (end - offset) / unitBytes;
        UINT32 units = 0;
        HRESULT result = WideUnitsOf(block + offset, count, unitBytes, units);
        if (SUCCEEDED(result)) {
            result = visit(block + offset, count, unitBytes, units);
        }
        if (FAILED(result)) {
            return result;
        }
    }
}

// The platform's DragQueryFileW walks the list from its start for every index, and capturing
// a selection with it grew with the square of its size. Here the list is walked twice: once to
// count the paths and their units, so that the list's two blocks are allocated exactly once,
// and once to copy them.
HRESULT CopyDroppedPaths(SelectionList& list, const BYTE* block, SIZE_T bytes)
{
    UINT32 paths = 0;
    SIZE_T units = 0;
    HRESULT result = WalkDroppedPaths(block, bytes, [&](const BYTE*, SIZE_T, SIZE_T, UINT32 wide) {
        ++paths;
        units += wide + 1;
        return S_OK;
    });
    if (FAILED(result)) {
        return result;
    }
    if (!list.Reserve(paths, units)) {
        return E_OUTOFMEMORY;
    }
    return WalkDroppedPaths(block, bytes, [&](const BYTE* text, SIZE_T count, SIZE_T unitBytes, UINT32 wide) {
        WCHAR path[kPathBufferUnits];
        if (unitBytes == 1) {
            MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(text), static_cast<int>(count), path, wide);
        } else {
            CopyMemory(path, text, count * sizeof(WCHAR));  // the list may start at an odd offset
        }
        return list.Append(path, wide) ? S_OK : E_OUTOFMEMORY;
    });
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
