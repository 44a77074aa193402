#include "process_run.h"

#include <windows.h>

#include <thread>

#include "runtime/unique_resource.h"

ProcessResult RunProcess(const std::wstring& commandLine, unsigned long timeoutMilliseconds)
{
    ProcessResult result;
    // A child that is the first program of the prefix to need a window starts the prefix's
    // desktop process, which keeps the child's handles, our output pipe among them: the output
    // would then end only when the desktop closes, seconds after the child. Connecting to the
    // desktop here starts it from this process and keeps it up while we run.
    if (!GetDesktopWindow()) {
        return result;
    }
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.Put(), writeEnd.Put(), &inheritable, 0)) {
        return result;
    }
    SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    PROCESS_INFORMATION process = {};
    std::wstring writable = commandLine;
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return result;
    }
    result.started = true;
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    writeEnd.Reset();  // the child holds the only write end now

    // Read on a thread of its own, so that a child that fills the pipe cannot block us.
    std::thread reader([&] {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            result.output.append(buffer, read);
        }
    });
    result.finished = WaitForSingleObject(processHandle.Get(), timeoutMilliseconds) == WAIT_OBJECT_0;
    if (!result.finished) {
        TerminateProcess(processHandle.Get(), 1);
        WaitForSingleObject(processHandle.Get(), INFINITE);
    }
    reader.join();
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    result.exitCode = exitCode;
    return result;
}

std::wstring SystemProgram(const std::wstring& name)
{
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, length) + L"\\" + name;
}

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}
