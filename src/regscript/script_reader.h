#pragma once
// Cuts a registry script into tokens. The language has two kinds of token, bare and quoted
// ('...', with '' standing for one apostrophe), separated by blanks; braces, "=" and keywords
// are ordinary tokens that the interpreter recognises by their text.

#include <windows.h>

class ReplacementMap;

// Sizes of the token buffers, in UTF-16 units with the terminator.
constexpr int kTokenUnits = 4096;
constexpr int kValueNameUnits = 260;

// The most units any token may hold: a quoted token that would store a 4095th unit fails,
// and bare tokens are held to the same bound so that no token outgrows its buffer.
constexpr int kMaxTokenLength = 4094;

// The state shared by every step of one script run. The reader only moves cursor; it never
// writes into the text.
struct ScriptReader {
    const WCHAR* cursor;
    ReplacementMap* replacements;  // used by variable expansion only
};

// Exactly tab, line feed, carriage return and space; vertical tab and form feed are not.
bool IsBlank(WCHAR unit);

// The character after the one at text; never moves past the terminating zero.
const WCHAR* NextCharacter(const WCHAR* text);

void SkipBlanks(ScriptReader& reader);

// Reads the next token into buffer, which holds capacity units (kTokenUnits unless a caller
// says otherwise). DISP_E_EXCEPTION at the end of the text, for a quoted token without its
// closing apostrophe, and for a token that would not fit (more than kMaxTokenLength units, or
// more than capacity - 1); cursor then stays where the fault was found.
HRESULT ReadToken(ScriptReader& reader, WCHAR* buffer, int capacity = kTokenUnits);

// True when cursor stands on an apostrophe that is not the first of a doubled pair.
bool IsClosingQuote(const ScriptReader& reader);

// When token begins with "=", reads past "type value" and leaves the token after the clause
// in token (a kTokenUnits buffer); otherwise reads nothing.
HRESULT SkipValueClause(ScriptReader& reader, WCHAR* token);
