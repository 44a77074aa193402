#pragma once
// Helpers shared by the registry script engine's tests: a throw-away key of the test's own,
// a text dump of a key tree, and runs of script text against the real registry.

#include <windows.h>

#include <string>

#include "regscript/script_reader.h"

// HKCU\Software\vtlMenuTests\Regscript\<name>, created empty and removed with its tree.
class TestKey {
public:
    explicit TestKey(const std::wstring& name);
    ~TestKey();
    HKEY Get() const { return key_; }
    // The script line that opens this key from HKCU: "HKCU { NoRemove Software { ... <name> {".
    std::wstring ScriptHead() const;

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

// One line per key ("path/") and per value ("path:name=S text", "=D 42", "=B 0aff"), sorted.
std::wstring Dump(HKEY key);

// Creates parent\path (components split at '\') with a default string value when one is given.
void MakeKey(HKEY parent, const std::wstring& path, const wchar_t* value = nullptr);
void SetString(HKEY parent, const std::wstring& path, const wchar_t* name, const wchar_t* value);

// Runs the inside of one block ("entries }") under parent with ProcessBlock; on success the
// block's "}" must be the text's last token.
HRESULT RunBlock(const std::wstring& entries, HKEY parent, bool doRegister);
