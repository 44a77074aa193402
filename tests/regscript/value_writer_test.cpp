#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "regscript/key_tree.h"
#include "regscript/value_writer.h"

namespace {

// Writes the clause "= clause" as the default value of the test key; returns the result and
// what the token buffer holds afterwards.
HRESULT Write(HKEY key, const wchar_t* clause, std::wstring* after = nullptr)
{
    WCHAR token[kTokenUnits] = L"=";
    ScriptReader reader = {clause, nullptr};
    HRESULT result = WriteValue(reader, key, nullptr, token);
    if (after) {
        *after = token;
    }
    return result;
}

TEST(WriteValueTest, WritesStringNumberAndBinary)
{
    TestKey key(L"WriteValue");
    struct Case {
        const wchar_t* clause;
        const wchar_t* dump;
    };
    for (Case c : {Case{L"s 'a b' next", L":=S a b\n"}, {L"S '' next", L":=S \n"},
                   {L"d '42' next", L":=D 42\n"}, {L"D 4294967295 next", L":=D 4294967295\n"},
                   {L"b '0aFF10' next", L":=B 0aff10\n"}, {L"B '' next", L":=B \n"},
                   {L"b G1zz next", L":=B 0100\n"}}) {
        std::wstring after;
        EXPECT_EQ(S_OK, Write(key.Get(), c.clause, &after)) << c.clause;
        EXPECT_EQ(c.dump, Dump(key.Get())) << c.clause;
        EXPECT_EQ(L"next", after) << c.clause;
    }
    DWORD size = 0;
    Write(key.Get(), L"s 'a b' }");
    RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(8u, size);
}

TEST(WriteValueTest, BadClausesFailAndWriteNothing)
{
    TestKey key(L"WriteValueBad");
    struct Case {
        const wchar_t* clause;
        HRESULT result;
    };
    for (Case c : {Case{L"b 'abc' next", E_FAIL}, {L"x 'v' next", DISP_E_EXCEPTION},
                   {L"SZ 'v' next", DISP_E_EXCEPTION}, {L"d 'abc' next", DISP_E_EXCEPTION},
                   {L"d '' next", DISP_E_EXCEPTION}, {L"d '-1' next", DISP_E_EXCEPTION},
                   {L"s", DISP_E_EXCEPTION}, {L"s 'v", DISP_E_EXCEPTION}}) {
        EXPECT_EQ(c.result, Write(key.Get(), c.clause)) << c.clause;
        EXPECT_EQ(L"", Dump(key.Get())) << c.clause;
    }
    // The value is written before the token after it is needed.
    EXPECT_EQ(DISP_E_EXCEPTION, Write(key.Get(), L"s 'v'"));
    EXPECT_EQ(L":=S v\n", Dump(key.Get()));
}

TEST(WriteValueTest, TypeLettersAndHexDigits)
{
    EXPECT_EQ(VT_BSTR, LookupValueType(L"s"));
    EXPECT_EQ(VT_UI4, LookupValueType(L"D"));
    EXPECT_EQ(VT_UI1, LookupValueType(L"b"));
    EXPECT_EQ(VT_EMPTY, LookupValueType(L"SZ"));
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        const char* digits = "0123456789abcdef";
        const char* found = unit < 0x80 && unit ? strchr(digits, tolower(unit)) : nullptr;
        ASSERT_EQ(found ? found - digits : 0, HexDigitValue(static_cast<WCHAR>(unit))) << unit;
    }
}

TEST(KeyTreeTest, DeleteKeyTreeRemovesTheWholeTree)
{
    TestKey key(L"KeyTree");
    MakeKey(key.Get(), L"T\\a\\b\\c", L"deep");
    MakeKey(key.Get(), L"T\\d");
    MakeKey(key.Get(), L"Other");
    EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(key.Get(), L"T"));
    EXPECT_EQ(L"Other/\n", Dump(key.Get()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteKeyTree(key.Get(), L"T"));
    EXPECT_EQ(L"Other/\n", Dump(key.Get()));
}

TEST(KeyTreeTest, NamedValuesIgnoreTheDefaultValue)
{
    TestKey key(L"NamedValues");
    EXPECT_FALSE(KeyHasNamedValues(key.Get()));
    SetString(key.Get(), L"", nullptr, L"default");
    EXPECT_FALSE(KeyHasNamedValues(key.Get()));
    SetString(key.Get(), L"", L"Named", L"v");
    EXPECT_TRUE(KeyHasNamedValues(key.Get()));
    RegDeleteValueW(key.Get(), nullptr);
    EXPECT_TRUE(KeyHasNamedValues(key.Get()));

    EXPECT_FALSE(KeyHasSubkeys(key.Get()));
    MakeKey(key.Get(), L"Sub");
    EXPECT_TRUE(KeyHasSubkeys(key.Get()));
    EXPECT_FALSE(KeyHasSubkeys(nullptr));
    EXPECT_FALSE(KeyHasNamedValues(nullptr));
}

TEST(KeyTreeTest, OpenKeyIntoKeepsTheHeldKeyOnFailure)
{
    TestKey key(L"OpenKeyInto");
    MakeKey(key.Get(), L"A", L"a");
    MakeKey(key.Get(), L"B", L"b");
    KeyHolder holder;
    EXPECT_EQ(ERROR_SUCCESS, OpenKeyInto(holder, key.Get(), L"A", KEY_READ));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenKeyInto(holder, key.Get(), L"Absent", KEY_READ));
    EXPECT_EQ(L":=S a\n", Dump(holder.Get()));
    EXPECT_EQ(ERROR_SUCCESS, OpenKeyInto(holder, key.Get(), L"B", KEY_READ));
    EXPECT_EQ(L":=S b\n", Dump(holder.Get()));
    EXPECT_EQ(ERROR_SUCCESS, holder.Close());
    EXPECT_FALSE(holder);
}

}  // namespace
