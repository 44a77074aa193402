#include "extension/launch_command.h"

#include <algorithm>

#include "extension/bounded_text.h"
#include "extension/lower_case_path.h"

namespace {

// The position just after the path's last backslash, or null for an empty path or one
// without a backslash.
const WCHAR* NameOf(const WCHAR* path)
{
    const WCHAR* name = nullptr;
    for (const WCHAR* unit = path; *unit; ++unit) {
        if (*unit == L'\\') {
            name = unit + 1;
        }
    }
    return name;
}

// Copies the path up to and including its last backslash; false when there is none or the
// folder with its terminating zero would not fit.
bool CopyFolderOf(const WCHAR* path, WCHAR* folder, UINT32 capacity)
{
    const WCHAR* name = NameOf(path);
    if (!name) {
        return false;
    }
    BoundedText text(folder, capacity);
    text.Append(path, static_cast<UINT32>(name - path));
    return !text.Overflowed();
}

// The units the bare names and their "::" separators alone take in the selection argument:
// counted in one pass, so that a selection far beyond the limit is refused before it is
// lower-cased and sorted.
SIZE_T NamesUnits(const SelectionList& list)
{
    SIZE_T units = 0;
    for (UINT32 index = 0; index < list.Size(); ++index) {
        const WCHAR* name = NameOf(list.At(index));
        units += (name ? lstrlenW(name) : 0) + (index > 0 ? 2 : 0);
    }
    return units;
}

bool CodeUnitLess(const WCHAR* left, const WCHAR* right)
{
    while (*left && *left == *right) {
        ++left;
        ++right;
    }
    return *left < *right;  // WCHAR is unsigned; the terminating zero sorts first
}

HRESULT BuildCommandLine(const SelectionList& list, LaunchCommand& command)
{
    WCHAR selectionFolder[kFolderUnits];
    if (!CopyFolderOf(list.At(0), selectionFolder, kFolderUnits)) {
        return E_INVALIDARG;
    }
    BoundedText line(command.commandLine, kCommandLineUnits);
    line.Append(command.applicationPath);
    line.Append(L" ");
    UINT32 argumentStart = line.Length();

    line.Append(L"\"2008::");
    line.Append(selectionFolder);
    line.Append(L"::");
    for (UINT32 index = 0; index < list.Size(); ++index) {
        const WCHAR* name = NameOf(list.At(index));
        if (!name) {
            return E_INVALIDARG;
        }
        line.Append(name);
        if (index + 1 < list.Size()) {
            line.Append(L"::");
        }
    }
    line.Append(L"\"");

    if (line.Overflowed() || line.Length() - argumentStart >= kSelectionArgumentUnits) {
        return E_INVALIDARG;
    }
    return S_OK;
}

}  // namespace

void SortSelection(SelectionList& list)
{
    if (list.Size() > 1) {
        std::sort(list.paths, list.paths + list.Size(), CodeUnitLess);
    }
}

HRESULT CommandOffsetOf(const CMINVOKECOMMANDINFO* info, UINT& offset)
{
    if (!info) {
        return E_INVALIDARG;
    }
    // A verb whose high bits are set is a text verb; this handler has only a command offset.
    auto verb = reinterpret_cast<ULONG_PTR>(info->lpVerb);
    if (verb >> 16 != 0) {
        return E_INVALIDARG;
    }
    offset = LOWORD(verb);
    return S_OK;
}

HRESULT PrepareLaunch(SelectionList& list, const CMINVOKECOMMANDINFO* info, LaunchCommand& command)
{
    UINT offset = 0;
    HRESULT result = CommandOffsetOf(info, offset);
    if (FAILED(result)) {
        return result;
    }
    return PrepareLaunchForOffset(list, offset, command);
}

HRESULT PrepareLaunchForOffset(SelectionList& list, UINT offset, LaunchCommand& command)
{
    if (FAILED(ReadPublisherPath(command.applicationPath))) {
        return E_INVALIDARG;
    }
    if (!CopyFolderOf(command.applicationPath, command.applicationFolder, kFolderUnits)) {
        return E_INVALIDARG;
    }

    if (NamesUnits(list) >= kSelectionArgumentUnits) {
        return E_INVALIDARG;
    }
    for (UINT32 index = 0; index < list.Size(); ++index) {
        LowerCasePath(list.At(index));
    }
    SortSelection(list);

    // Checked only now: an unknown offset still leaves the list lower-cased and sorted.
    if (offset != 0) {
        return E_INVALIDARG;
    }
    if (list.Size() == 0) {
        return E_INVALIDARG;
    }
    return BuildCommandLine(list, command);
}
