#include <gtest/gtest.h>

#include <string>

#include "regscript/root_keys.h"
#include "regscript/script_reader.h"

namespace {

// Reads every token of text; "|" joins them, "!" marks a failure, which ends the list.
std::wstring Tokens(const std::wstring& text, int capacity = kTokenUnits)
{
    std::wstring buffer(kTokenUnits + 16, L'#');
    ScriptReader reader = {text.c_str(), nullptr};
    std::wstring tokens;
    while (*reader.cursor) {
        if (FAILED(ReadToken(reader, &buffer[0], capacity))) {
            return tokens + L"!";
        }
        for (size_t at = capacity; at < buffer.size(); ++at) {
            EXPECT_EQ(L'#', buffer[at]) << "written past the buffer at " << at;
        }
        tokens += buffer.c_str() + std::wstring(L"|");
        SkipBlanks(reader);
    }
    return tokens;
}

TEST(ScriptReaderTest, SplitsAtExactlyFourBlanks)
{
    EXPECT_EQ(L"a|b|c|d|e|", Tokens(L"a b\tc\rd\ne"));
    EXPECT_EQ(L"a\vb|c\fd|", Tokens(L"a\vb c\fd"));
    EXPECT_EQ(L"Key{|a=b|=|{|}|", Tokens(L"Key{ a=b = { }"));
    EXPECT_EQ(L"!", Tokens(L" \t\r\n "));
}

TEST(ScriptReaderTest, QuotedTokens)
{
    EXPECT_EQ(L"|It's|a''b|{x}|a|b|a b|", Tokens(L"'' 'It''s' 'a''''b' '{x}' 'a'b 'a b'"));
    EXPECT_EQ(L"don't|", Tokens(L"don't"));  // an apostrophe inside a bare token is plain
    EXPECT_EQ(L"!", Tokens(L"'abc"));
    EXPECT_EQ(L"!", Tokens(L"'abc''"));
}

TEST(ScriptReaderTest, TokensStayInsideTheirBuffers)
{
    const std::wstring longest(kMaxTokenLength, L'x');
    EXPECT_EQ(longest + L"|", Tokens(L"'" + longest + L"'"));
    EXPECT_EQ(longest + L"|", Tokens(longest));
    EXPECT_EQ(L"!", Tokens(L"'" + longest + L"x'"));
    EXPECT_EQ(L"!", Tokens(longest + L"x"));
    EXPECT_EQ(L"!", Tokens(std::wstring(20000, L'y')));

    // The value name buffer: 259 units and the terminator.
    EXPECT_EQ(std::wstring(259, L'v') + L"|", Tokens(std::wstring(259, L'v'), kValueNameUnits));
    EXPECT_EQ(L"!", Tokens(std::wstring(260, L'v'), kValueNameUnits));
    EXPECT_EQ(L"!", Tokens(L"'" + std::wstring(260, L'v') + L"'", kValueNameUnits));
}

TEST(ScriptReaderTest, FailureLeavesCursorWhereFound)
{
    std::wstring text = L"'" + std::wstring(kMaxTokenLength + 5, L'x') + L"'";
    WCHAR buffer[kTokenUnits];
    ScriptReader reader = {text.c_str(), nullptr};
    EXPECT_EQ(DISP_E_EXCEPTION, ReadToken(reader, buffer));
    EXPECT_EQ(1 + kMaxTokenLength, reader.cursor - text.c_str());
}

TEST(ScriptReaderTest, ClosingQuoteIsALoneApostrophe)
{
    for (auto [text, closing] : {std::pair{L"'", true}, {L"' ", true}, {L"''", false},
                                 {L"a'", false}, {L"", false}}) {
        ScriptReader reader = {text, nullptr};
        EXPECT_EQ(closing, IsClosingQuote(reader)) << text;
    }
}

TEST(ScriptReaderTest, SkipValueClauseReadsPastTypeAndValue)
{
    WCHAR token[kTokenUnits] = L"=";
    ScriptReader reader = {L" s 'x y' Next tail", nullptr};
    EXPECT_EQ(S_OK, SkipValueClause(reader, token));
    EXPECT_STREQ(L"Next", token);

    const WCHAR* before = reader.cursor;
    EXPECT_EQ(S_OK, SkipValueClause(reader, token));
    EXPECT_EQ(before, reader.cursor);
    EXPECT_STREQ(L"Next", token);

    lstrcpyW(token, L"=");
    reader.cursor = L" s 'unterminated";
    EXPECT_EQ(DISP_E_EXCEPTION, SkipValueClause(reader, token));
}

TEST(RootKeyTableTest, NamesMatchWholeAndWithoutCase)
{
    const std::pair<const wchar_t*, HKEY> rows[] = {
        {L"hkcr", HKEY_CLASSES_ROOT}, {L"HKCU", HKEY_CURRENT_USER}, {L"HkLm", HKEY_LOCAL_MACHINE},
        {L"HKU", HKEY_USERS}, {L"HKPD", HKEY_PERFORMANCE_DATA}, {L"HKDD", HKEY_DYN_DATA},
        {L"HKCC", HKEY_CURRENT_CONFIG}, {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"hkey_current_user", HKEY_CURRENT_USER}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKEY_USERS", HKEY_USERS}, {L"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {L"HKEY_DYN_DATA", HKEY_DYN_DATA}, {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
        {L"HKEY_CLASSES", nullptr}, {L"HKCU ", nullptr}, {L"HKC", nullptr}, {L"", nullptr}};
    for (auto [name, key] : rows) {
        EXPECT_EQ(key, LookupRootKey(name)) << name;
    }
}

}  // namespace
