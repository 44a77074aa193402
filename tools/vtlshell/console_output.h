#pragma once
// What vtlshell prints: lines in UTF-8 on standard output, failures on standard error.

#include <windows.h>

#include <string>

void PrintLine(const std::wstring& text);

// Prints "vtlshell: message" on standard error; returns exit code 1.
int Fail(const std::wstring& message);

// An HRESULT as 0x%08X.
std::wstring Hex(HRESULT result);
