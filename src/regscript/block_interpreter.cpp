#include "regscript/block_interpreter.h"

#include "regscript/key_tree.h"
#include "regscript/value_writer.h"

namespace {

bool IsKeyword(const WCHAR* token, const WCHAR* keyword)
{
    return lstrcmpiW(token, keyword) == 0;
}

// One path component: not empty and without a backslash. An empty name would open the parent
// itself, and removing it would remove the parent's whole tree.
bool IsKeyName(const WCHAR* name)
{
    if (name[0] == 0) {
        return false;
    }
    for (const WCHAR* unit = name; *unit; ++unit) {
        if (*unit == L'\\') {
            return false;
        }
    }
    return true;
}

// Both walks open a block only at this exact token: a key named "{...}", such as a GUID, is
// a key like any other.
bool IsOpeningBrace(const WCHAR* token)
{
    return token[0] == L'{' && token[1] == 0;
}

// What follows ForceRemove or Delete must be a key name, never one of the entry keywords.
bool IsEntryKeyword(const WCHAR* token)
{
    return IsKeyword(token, L"ForceRemove") || IsKeyword(token, L"Delete") ||
           IsKeyword(token, L"NoRemove") || IsKeyword(token, L"Val");
}

HRESULT WalkBlock(ScriptReader& reader, WCHAR* token, HKEY parent, bool doRegister, bool skip,
                  int depth);

// A block after a Delete entry or a value entry has no key of its own to work on: it is read
// in skip mode, in both walks, so that the reader stays in step with the script.
HRESULT PassOverBlockAfterEntry(ScriptReader& reader, WCHAR* token, int depth)
{
    if (!IsOpeningBrace(token)) {
        return S_OK;
    }
    HRESULT result = WalkBlock(reader, token, nullptr, false, true, depth + 1);
    if (FAILED(result)) {
        return result;
    }
    return ReadToken(reader, token);
}

// Value entry: "Val name = type value", written on the key whose block holds the line.
HRESULT ReadValueEntryHead(ScriptReader& reader, WCHAR* token, WCHAR* valueName)
{
    HRESULT result = ReadToken(reader, valueName, kValueNameUnits);
    if (FAILED(result)) {
        return result;
    }
    result = ReadToken(reader, token);
    if (FAILED(result)) {
        return result;
    }
    return token[0] == L'=' ? S_OK : DISP_E_EXCEPTION;
}

HRESULT OpenOrCreateKey(KeyHolder& current, HKEY parent, const WCHAR* name)
{
    if (OpenKeyInto(current, parent, name, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        return S_OK;
    }
    // A key that opens only for reading is used all the same; writes under it may then fail.
    if (OpenKeyInto(current, parent, name, KEY_READ) == ERROR_SUCCESS) {
        return S_OK;
    }
    HKEY created = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        &disposition) != ERROR_SUCCESS) {
        return DISP_E_EXCEPTION;
    }
    return current.Replace(created) == ERROR_SUCCESS ? S_OK : DISP_E_EXCEPTION;
}

HRESULT RegisterBlock(ScriptReader& reader, WCHAR* token, HKEY parent, int depth)
{
    KeyHolder current;
    HRESULT result = ReadToken(reader, token);
    if (FAILED(result)) {
        return result;
    }

    while (token[0] != L'}') {
        bool forceRemove = IsKeyword(token, L"ForceRemove");
        if (forceRemove || IsKeyword(token, L"Delete")) {
            result = ReadToken(reader, token);
            if (FAILED(result)) {
                return result;
            }
            if (!IsKeyName(token) || IsEntryKeyword(token)) {
                return DISP_E_EXCEPTION;
            }
            if (!IsProtectedKeyName(token)) {
                (void)DeleteKeyTree(parent, token);
            }
            if (!forceRemove) {
                // Removed and not created again; its value clause is not written.
                result = ReadToken(reader, token);
                if (SUCCEEDED(result)) {
                    result = SkipValueClause(reader, token);
                }
                if (SUCCEEDED(result)) {
                    result = PassOverBlockAfterEntry(reader, token, depth);
                }
                if (FAILED(result)) {
                    return result;
                }
                continue;
            }
        }

        if (IsKeyword(token, L"NoRemove")) {  // no effect when registering
            result = ReadToken(reader, token);
            if (FAILED(result)) {
                return result;
            }
        }

        if (IsKeyword(token, L"Val")) {
            WCHAR valueName[kValueNameUnits];
            result = ReadValueEntryHead(reader, token, valueName);
            if (SUCCEEDED(result)) {
                result = WriteValue(reader, parent, valueName, token);
            }
            if (SUCCEEDED(result)) {
                result = PassOverBlockAfterEntry(reader, token, depth);
            }
            if (FAILED(result)) {
                return result;
            }
            continue;
        }

        if (!IsKeyName(token)) {
            return DISP_E_EXCEPTION;
        }
        result = OpenOrCreateKey(current, parent, token);
        if (FAILED(result)) {
            return result;
        }
        result = ReadToken(reader, token);
        if (SUCCEEDED(result) && token[0] == L'=') {
            result = WriteValue(reader, current.Get(), nullptr, token);
        }
        if (FAILED(result)) {
            return result;
        }
        if (IsOpeningBrace(token)) {
            result = WalkBlock(reader, token, current.Get(), true, false, depth + 1);
            if (SUCCEEDED(result)) {
                result = ReadToken(reader, token);
            }
            if (FAILED(result)) {
                return result;
            }
        }
    }
    return S_OK;
}

// The key becomes the parent of its block's value lines, whose removal needs write access;
// a key that opens only for reading is walked all the same.
bool OpenKeyForUnregister(KeyHolder& current, HKEY parent, const WCHAR* name)
{
    return OpenKeyInto(current, parent, name, KEY_READ | KEY_WRITE) == ERROR_SUCCESS ||
           OpenKeyInto(current, parent, name, KEY_READ) == ERROR_SUCCESS;
}

// Reads past the rest of a key line: the token after the name and any value clause.
HRESULT ReadRestOfLine(ScriptReader& reader, WCHAR* token)
{
    HRESULT result = ReadToken(reader, token);
    return SUCCEEDED(result) ? SkipValueClause(reader, token) : result;
}

HRESULT UnregisterBlock(ScriptReader& reader, WCHAR* token, HKEY parent, bool blockSkip,
                        int depth)
{
    KeyHolder current;
    bool deleteFlag = true;
    bool skip = blockSkip;
    WCHAR remembered[kValueNameUnits];

    HRESULT result = ReadToken(reader, token);
    if (FAILED(result)) {
        return result;
    }

    while (token[0] != L'}') {
        if (IsKeyword(token, L"ForceRemove") || IsKeyword(token, L"Delete")) {
            result = ReadToken(reader, token);  // no effect when unregistering
            if (FAILED(result)) {
                return result;
            }
            if (IsEntryKeyword(token)) {
                return DISP_E_EXCEPTION;
            }
        }

        if (IsKeyword(token, L"NoRemove")) {
            deleteFlag = false;  // for every later entry of this block
            result = ReadToken(reader, token);
            if (FAILED(result)) {
                return result;
            }
        }

        if (IsKeyword(token, L"Val")) {
            WCHAR valueName[kValueNameUnits];
            result = ReadValueEntryHead(reader, token, valueName);
            if (FAILED(result)) {
                return result;
            }
            if (!skip) {
                (void)RegDeleteValueW(parent, valueName);
            }
            result = SkipValueClause(reader, token);
            if (SUCCEEDED(result)) {
                result = PassOverBlockAfterEntry(reader, token, depth);
            }
            if (FAILED(result)) {
                return result;
            }
            continue;
        }

        if (!IsKeyName(token)) {
            return DISP_E_EXCEPTION;
        }
        // A name too long for the remembered name cannot name a key: it is treated as absent,
        // so that no shortened name is ever removed.
        if (!skip && (lstrlenW(token) >= kValueNameUnits ||
                      !OpenKeyForUnregister(current, parent, token))) {
            skip = true;  // for this entry: its line and block are passed over
        }
        lstrcpynW(remembered, token, kValueNameUnits);

        if (!skip && !KeyHasSubkeys(current.Get()) && !KeyHasNamedValues(current.Get())) {
            // Empty: removed at once. A block after its line can name nothing that exists,
            // so it is read in skip mode.
            if (current.Close() != ERROR_SUCCESS) {
                return DISP_E_EXCEPTION;
            }
            if (deleteFlag) {
                (void)RegDeleteKeyW(parent, remembered);
            }
            result = ReadRestOfLine(reader, token);
            if (SUCCEEDED(result) && IsOpeningBrace(token)) {
                result = WalkBlock(reader, token, nullptr, false, true, depth + 1);
                if (SUCCEEDED(result)) {
                    result = ReadRestOfLine(reader, token);
                }
            }
            if (FAILED(result)) {
                return result;
            }
            continue;
        }

        result = ReadRestOfLine(reader, token);
        if (FAILED(result)) {
            return result;
        }
        bool walked = IsOpeningBrace(token);
        if (walked) {
            result = WalkBlock(reader, token, current.Get(), false, skip, depth + 1);
            if (FAILED(result)) {
                return result;
            }
        }

        if (skip) {
            skip = blockSkip;
            result = walked ? ReadRestOfLine(reader, token) : S_OK;
        } else if (KeyHasSubkeys(current.Get())) {
            // Kept, with every subkey the script does not name.
            result = walked ? ReadToken(reader, token) : S_OK;
        } else {
            if (current.Close() != ERROR_SUCCESS) {
                return DISP_E_EXCEPTION;
            }
            if (deleteFlag) {
                (void)RegDeleteKeyW(parent, remembered);
            }
            result = walked ? ReadRestOfLine(reader, token) : S_OK;
        }
        if (FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

HRESULT WalkBlock(ScriptReader& reader, WCHAR* token, HKEY parent, bool doRegister, bool skip,
                  int depth)
{
    if (depth >= kMaxBlockDepth) {
        return DISP_E_EXCEPTION;
    }
    return doRegister ? RegisterBlock(reader, token, parent, depth)
                      : UnregisterBlock(reader, token, parent, skip, depth);
}

}  // namespace

bool IsProtectedKeyName(const WCHAR* name)
{
    static const WCHAR* const kProtectedKeyNames[] = {L"CLSID", L"TYPELIB", nullptr};
    for (const WCHAR* const* entry = kProtectedKeyNames; *entry; ++entry) {
        if (lstrcmpiW(name, *entry) == 0) {
            return true;
        }
    }
    return false;
}

HRESULT ProcessBlock(ScriptReader& reader, WCHAR* token, HKEY parent, bool doRegister, bool skip)
{
    return WalkBlock(reader, token, parent, doRegister, skip && !doRegister, 0);
}
