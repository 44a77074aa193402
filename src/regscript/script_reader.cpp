#include "regscript/script_reader.h"

namespace {

constexpr WCHAR kApostrophe = L'\'';

// Copies the character at cursor, every unit that one step passes over, and steps past it;
// false when a unit would go beyond limit.
bool CopyCharacter(ScriptReader& reader, WCHAR* buffer, int& stored, int limit)
{
    const WCHAR* next = NextCharacter(reader.cursor);
    for (const WCHAR* unit = reader.cursor; unit < next; ++unit) {
        if (stored >= limit) {
            return false;
        }
        buffer[stored++] = *unit;
    }
    reader.cursor = next;
    return true;
}

}  // namespace

bool IsBlank(WCHAR unit)
{
    return unit == L'\t' || unit == L'\n' || unit == L'\r' || unit == L' ';
}

const WCHAR* NextCharacter(const WCHAR* text)
{
    if (*text == 0) {
        return text;
    }
    const WCHAR* next = CharNextW(text);
    // Whatever the platform's stepping does, every call makes progress.
    return next > text ? next : text + 1;
}

void SkipBlanks(ScriptReader& reader)
{
    while (IsBlank(*reader.cursor)) {
        reader.cursor = NextCharacter(reader.cursor);
    }
}

bool IsClosingQuote(const ScriptReader& reader)
{
    return *reader.cursor == kApostrophe && *NextCharacter(reader.cursor) != kApostrophe;
}

HRESULT ReadToken(ScriptReader& reader, WCHAR* buffer, int capacity)
{
    const int limit = capacity - 1 < kMaxTokenLength ? capacity - 1 : kMaxTokenLength;
    int stored = 0;

    SkipBlanks(reader);
    if (*reader.cursor == 0) {
        return DISP_E_EXCEPTION;
    }

    if (*reader.cursor != kApostrophe) {
        while (*reader.cursor != 0 && !IsBlank(*reader.cursor)) {
            if (!CopyCharacter(reader, buffer, stored, limit)) {
                return DISP_E_EXCEPTION;
            }
        }
        buffer[stored] = 0;
        return S_OK;
    }

    reader.cursor = NextCharacter(reader.cursor);
    while (*reader.cursor != 0 && !IsClosingQuote(reader)) {
        if (*reader.cursor == kApostrophe) {
            reader.cursor = NextCharacter(reader.cursor);  // the first of a doubled pair
        }
        if (!CopyCharacter(reader, buffer, stored, limit)) {
            return DISP_E_EXCEPTION;
        }
    }
    if (*reader.cursor == 0) {
        return DISP_E_EXCEPTION;
    }
    buffer[stored] = 0;
    reader.cursor = NextCharacter(reader.cursor);
    return S_OK;
}

HRESULT SkipValueClause(ScriptReader& reader, WCHAR* token)
{
    if (token[0] != L'=') {
        return S_OK;
    }
    HRESULT result = ReadToken(reader, token);  // the type letter, not tested here
    if (FAILED(result)) {
        return result;
    }
    SkipBlanks(reader);
    WCHAR value[kTokenUnits];
    result = ReadToken(reader, value);
    if (FAILED(result)) {
        return result;
    }
    return ReadToken(reader, token);
}
