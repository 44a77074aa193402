#pragma once
// IContextMenu::InvokeCommand: starts the publishing application with the selection.

#include <shlobj.h>

#include "extension/launch_command.h"

// Prepares the command line (PrepareLaunch), then starts the application in its own folder,
// without waiting for it; the host's current directory stays as it was. S_OK once
// it has started; a failure from PrepareLaunch before anything changed; HRESULT_FROM_WIN32 of
// the platform's error when the start fails.
HRESULT InvokePublishCommand(SelectionList& list, const CMINVOKECOMMANDINFO* info);

// The same launch for a command offset already taken from the shell's request: the one road
// that both the classic menu entry and the Explorer command take.
HRESULT LaunchPublisher(SelectionList& list, UINT offset);

// The start alone.
HRESULT StartPublisher(LaunchCommand& command);
