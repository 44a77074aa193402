#pragma once
// Runs a program to its end, as a user would from a console, and keeps what it printed.

#include <string>

struct ProcessResult {
    bool started = false;
    bool finished = false;    // false: still running at the deadline, and then ended by force
    unsigned long exitCode = 0;
    std::string output;       // standard output and standard error, in the order written
};

// commandLine as CreateProcessW takes it; the program inherits this process's environment.
ProcessResult RunProcess(const std::wstring& commandLine, unsigned long timeoutMilliseconds = 60000);

// The prefix's own copy of a system program, e.g. SystemProgram(L"regsvr32.exe").
std::wstring SystemProgram(const std::wstring& name);

// The path in double quotation marks, for a command line.
std::wstring Quoted(const std::wstring& path);
