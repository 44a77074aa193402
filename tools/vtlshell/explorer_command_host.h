#pragma once
// Windows 11's first-level context menu, as Explorer fills it from a package: the package
// manifest names the commands offered for files of every type and the DLL (in the package's
// external location) serving each command's class. Each class is made known to COM in this
// process from its DLL's class object, as the package's registration does for Explorer, and
// created through COM; each command is asked for its state, title and icon with the
// selection as a shell item array, and invoked when asked to.

#include <string>
#include <vector>

// Exit codes as vtlshell's: 0 done; 1 a failure (manifest unreadable, no command, creation
// refused, no such entry, the command refused).
int ShowExplorerCommands(const std::wstring& manifestPath, const std::wstring& externalLocation,
                         const std::vector<std::wstring>& files, const std::wstring& invokeText);
