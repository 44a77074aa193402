#pragma once
// Everything IContextMenu::InvokeCommand works out before it starts the publishing
// application: the application's path and folder from the registry, and the command line
// made from the lower-cased, sorted selection.

#include <shlobj.h>

#include "extension/publisher_location.h"
#include "extension/selection_list.h"

constexpr UINT32 kFolderUnits = 256;
constexpr UINT32 kCommandLineUnits = 30000;
constexpr UINT32 kSelectionArgumentUnits = 30000;

struct LaunchCommand {
    WCHAR applicationPath[kPublisherPathUnits];  // "ExePath" as read
    WCHAR applicationFolder[kFolderUnits];       // up to and including its last backslash
    WCHAR commandLine[kCommandLineUnits];        // path, blank, quoted selection argument
};

// Steps of InvokeCommand up to, not including, the change of directory and the start.
// E_INVALIDARG for a verb given as text, a command offset other than 0, a missing or unusable
// "ExePath", an empty selection, a selected path without a backslash, a selection folder
// longer than 255 units, or an argument or command line that would not fit its 30,000 units.
// Once "ExePath" has been read and found usable, the list is left lower-cased and sorted,
// unless its bare names alone already pass the argument's limit: that is refused first.
HRESULT PrepareLaunch(SelectionList& list, const CMINVOKECOMMANDINFO* info, LaunchCommand& command);

// The command offset of an InvokeCommand record: E_INVALIDARG without a record or for a verb
// given as text, which this handler does not have.
HRESULT CommandOffsetOf(const CMINVOKECOMMANDINFO* info, UINT& offset);

// PrepareLaunch once the verb is known to be an offset: the part every entry of the
// extension shares, whichever interface the shell invoked it through.
HRESULT PrepareLaunchForOffset(SelectionList& list, UINT offset, LaunchCommand& command);

// Ascending code-unit order (unsigned), a path before every longer path that begins with it.
void SortSelection(SelectionList& list);
