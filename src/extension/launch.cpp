#include "extension/launch.h"

#include "runtime/unique_resource.h"

HRESULT StartPublisher(LaunchCommand& command)
{
    // The application's folder is named to CreateProcessW only: the host's own current
    // directory is process-wide, and changing it would hold that folder open in Explorer and
    // add it to the host's search for DLLs named without a path.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // The application name is given as well as the command line: the path from the registry
    // may hold blanks and stands unquoted at the start of the command line, where the
    // platform would otherwise try C:\Program.exe and the like first.
    if (!CreateProcessW(command.applicationPath, command.commandLine, nullptr, nullptr, FALSE, 0,
                        nullptr, command.applicationFolder, &startup, &process)) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    // Nothing here watches the application.
    UniqueHandle thread(process.hThread);
    UniqueHandle started(process.hProcess);
    return S_OK;
}

HRESULT LaunchPublisher(SelectionList& list, UINT offset)
{
    // About 61 KB on the caller's stack; nothing of it outlives the call.
    LaunchCommand command;
    HRESULT result = PrepareLaunchForOffset(list, offset, command);
    if (FAILED(result)) {
        return result;
    }
    return StartPublisher(command);
}

HRESULT InvokePublishCommand(SelectionList& list, const CMINVOKECOMMANDINFO* info)
{
    UINT offset = 0;
    HRESULT result = CommandOffsetOf(info, offset);
    if (FAILED(result)) {
        return result;
    }
    return LaunchPublisher(list, offset);
}
