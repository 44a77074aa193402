#pragma once
// A file written whole or not at all.

#include <string>

// Writes `bytes` to `path` through a temporary file beside it, which replaces the target only
// once everything is written: a failure leaves no partial file, and an older file at `path`
// as it was. False, with the reason, on failure.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes, std::wstring& error);
