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

// A wide list may start at any offset of its block.
using ListUnit = WCHAR __attribute__((aligned(1)));

// Walks a list of `count` units (ListUnit or char) to its closing empty string, once, and hands
// each path and its length to `visit`. E_INVALIDARG when a terminator lies outside the list.
template <typename Unit, typename Visit>
HRESULT WalkList(const Unit* units, SIZE_T count, Visit visit)
{
    for (SIZE_T start = 0;;) {
        SIZE_T end = start;
        while (end < count && units[end] != 0) {
            ++end;
        }
        if (end == count) {
            return E_INVALIDARG;
        }
        if (end == start) {
            return S_OK;  // the empty string that closes the list
        }
        HRESULT result = visit(units + start, end - start);
        if (FAILED(result)) {
            return result;
        }
        start = end + 1;
    }
}

// The wide units of an ANSI path, converted as the platform's own reader converts it (the ANSI
// code page); 0 when it cannot be converted. Four bytes at most make one unit of any ANSI code
// page, so longer text is not converted at all.
UINT32 AnsiPathUnits(const char* text, SIZE_T count, WCHAR* path)
{
    if (count >= 4 * kPathBufferUnits) {
        return kPathBufferUnits;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(count), path, path ? kPathBufferUnits : 0);
    return units > 0 ? static_cast<UINT32>(units) : 0;
}

// Walks the list twice: once to count its paths and their units, so that the list's two blocks
// are allocated exactly once, and once to copy them. A path that does not fit kPathBufferUnits
// is refused before anything is allocated: cut, it could pass the image test or name a file
// that does not exist.
template <typename Unit>
HRESULT CopyList(SelectionList& list, const Unit* units, SIZE_T count)
{
    UINT32 paths = 0;
    SIZE_T total = 0;
    HRESULT result = WalkList(units, count, [&](const Unit* text, SIZE_T length) {
        if constexpr (sizeof(Unit) == 1) {
            length = AnsiPathUnits(text, length, nullptr);
        }
        if (length == 0 || length >= kPathBufferUnits) {
            return E_INVALIDARG;
        }
        ++paths;
        total += length + 1;
        return S_OK;
    });
    if (FAILED(result)) {
        return result;
    }
    if (!list.Reserve(paths, total)) {
        return E_OUTOFMEMORY;
    }
    return WalkList(units, count, [&](const Unit* text, SIZE_T length) {
        bool appended;
        if constexpr (sizeof(Unit) == 1) {
            WCHAR path[kPathBufferUnits];
            appended = list.Append(path, AnsiPathUnits(text, length, path));
        } else {
            appended = list.Append(reinterpret_cast<const WCHAR*>(text), static_cast<UINT32>(length));
        }
        return appended ? S_OK : E_OUTOFMEMORY;
    });
}

// Reads the locked dropped-file list itself, never past the block's own size: the platform's
// DragQueryFileW walks the list from its start for every index, and capturing a selection with
// it grew with the square of its size. Wide and ANSI lists are read; a block smaller than its
// DROPFILES header, or whose list starts outside it, is refused.
HRESULT CopyDroppedPaths(SelectionList& list, const BYTE* block, SIZE_T bytes)
{
    if (bytes < sizeof(DROPFILES)) {
        return E_INVALIDARG;
    }
    const auto* header = reinterpret_cast<const DROPFILES*>(block);
    if (header->pFiles >= bytes) {
        return E_INVALIDARG;
    }
    const BYTE* start = block + header->pFiles;
    const SIZE_T listBytes = bytes - header->pFiles;
    if (header->fWide) {
        return CopyList(list, reinterpret_cast<const ListUnit*>(start), listBytes / sizeof(WCHAR));
    }
    return CopyList(list, reinterpret_cast<const char*>(start), listBytes);
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
