#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "regscript/block_interpreter.h"

namespace {

class InterpreterTest : public testing::Test {
protected:
    HRESULT Register(const std::wstring& entries) { return RunBlock(entries, key_.Get(), true); }
    HRESULT Unregister(const std::wstring& entries) { return RunBlock(entries, key_.Get(), false); }
    std::wstring Tree() { return Dump(key_.Get()); }

    TestKey key_{Utf16(testing::UnitTest::GetInstance()->current_test_info()->name())};

    static std::wstring Utf16(const char* text) { return std::wstring(text, text + strlen(text)); }
};

TEST_F(InterpreterTest, RegisterCreatesKeysValuesAndNestedBlocks)
{
    EXPECT_EQ(S_OK, Register(L"A = s 'a' { B { val N = d 7 } 'C D' } val Top = s t }"));
    EXPECT_EQ(L":Top=S t\nA/\nA:=S a\nA\\B/\nA\\B:N=D 7\nA\\C D/\n", Tree());
    // Open before create: what is there already stays.
    SetString(key_.Get(), L"A", L"Kept", L"k");
    EXPECT_EQ(S_OK, Register(L"'a' = s 'new' }"));
    EXPECT_EQ(L":Top=S t\nA/\nA:=S new\nA:Kept=S k\nA\\B/\nA\\B:N=D 7\nA\\C D/\n", Tree());
}

TEST_F(InterpreterTest, ForceRemoveReplacesTheTree)
{
    MakeKey(key_.Get(), L"X\\Extra\\Deep", L"old");
    EXPECT_EQ(S_OK, Register(L"ForceRemove X = s 'v' }"));
    EXPECT_EQ(L"X/\nX:=S v\n", Tree());
}

TEST_F(InterpreterTest, DeleteRemovesTheTreeAndCreatesNothing)
{
    MakeKey(key_.Get(), L"X\\Y", L"old");
    EXPECT_EQ(S_OK, Register(L"Delete X = s 'v' { Y } Z }"));
    EXPECT_EQ(L"Z/\n", Tree());
}

TEST_F(InterpreterTest, ProtectedNamesAreNeverRemoved)
{
    MakeKey(key_.Get(), L"CLSID\\Other");
    MakeKey(key_.Get(), L"TypeLib\\Other");
    EXPECT_EQ(S_OK, Register(L"ForceRemove clsid { New } Delete TYPELIB = s 'x' }"));
    EXPECT_EQ(L"CLSID/\nCLSID\\New/\nCLSID\\Other/\nTypeLib/\nTypeLib\\Other/\n", Tree());
}

// A key name is one path component, and after ForceRemove or Delete it is no keyword: both
// are syntax errors in both walks, found before anything is removed or written.
TEST_F(InterpreterTest, KeyNamesAreOnePathComponentAndNoKeyword)
{
    MakeKey(key_.Get(), L"P\\Child");
    MakeKey(key_.Get(), L"NoRemove\\Old");
    const std::wstring before = Tree();
    for (const wchar_t* entries : {L"X\\Y = s 'v' }", L"ForceRemove X\\Y }", L"Delete X\\Y }",
                                   L"P { '' = s 'v' } }", L"ForceRemove '' }", L"Delete '' }",
                                   L"Delete NoRemove X = s 'v' }", L"ForceRemove Val N = s 'v' }",
                                   L"forceremove 'DELETE' X }", L"ForceRemove noremove P { Child } }"}) {
        EXPECT_EQ(DISP_E_EXCEPTION, Register(entries)) << entries;
        EXPECT_EQ(DISP_E_EXCEPTION, Unregister(entries)) << entries;
        EXPECT_EQ(before, Tree()) << entries;
    }
}

TEST_F(InterpreterTest, MalformedBlocksFail)
{
    std::wstring nested;
    for (int level = 0; level <= kMaxBlockDepth; ++level) {
        nested += L"K { ";
    }
    for (const std::wstring& entries : {std::wstring(L"A { B"), std::wstring(L"val N s 'v' }"),
                                        L"val " + std::wstring(300, L'n') + L" = s v }", nested}) {
        EXPECT_EQ(DISP_E_EXCEPTION, Register(entries)) << entries.substr(0, 40);
        EXPECT_EQ(DISP_E_EXCEPTION, Unregister(entries)) << entries.substr(0, 40);
    }
    EXPECT_EQ(DISP_E_EXCEPTION, Register(L"val N = q 'v' }"));
    EXPECT_EQ(E_FAIL, Register(L"A = b 'abc' }"));

    // Skip mode makes no registry call, so only the depth bound keeps this off the stack's end.
    std::wstring deep = L"Absent { ";
    for (int level = 0; level < 100000; ++level) {
        deep += L"x { ";
    }
    EXPECT_EQ(DISP_E_EXCEPTION, Unregister(deep));
}

TEST_F(InterpreterTest, PrefixesAreRecognisedInOrderAndQuotingChangesNothing)
{
    EXPECT_EQ(S_OK, Register(L"NoRemove ForceRemove X 'val' N = s 'v' 'NoRemove' Y }"));
    EXPECT_EQ(L":N=S v\nForceRemove/\nX/\nY/\n", Tree());
}

TEST_F(InterpreterTest, UnregisterRemovesWhatTheScriptNames)
{
    MakeKey(key_.Get(), L"A\\B", L"default only");
    SetString(key_.Get(), L"A", L"Unnamed", L"not in the script");
    SetString(key_.Get(), L"", L"Top", L"t");
    SetString(key_.Get(), L"", L"Other", L"o");
    MakeKey(key_.Get(), L"Keep\\Sub", L"not in the script");
    SetString(key_.Get(), L"Keep", L"Named", L"in the script");
    EXPECT_EQ(S_OK, Unregister(L"A = s 'x' { B } val Top = s t NoRemove Keep { val Named = s x } }"));
    EXPECT_EQ(L":Other=S o\nKeep/\nKeep\\Sub/\nKeep\\Sub:=S not in the script\n", Tree());
}

TEST_F(InterpreterTest, NoRemoveHoldsForTheRestOfTheBlockOnly)
{
    MakeKey(key_.Get(), L"A\\Inner");
    MakeKey(key_.Get(), L"B\\Inner");
    MakeKey(key_.Get(), L"C");
    EXPECT_EQ(S_OK, Unregister(L"C NoRemove A { Inner } B { Inner } }"));
    EXPECT_EQ(L"A/\nB/\n", Tree());
}

TEST_F(InterpreterTest, AbsentKeysArePassedOverWithTheirBlocks)
{
    MakeKey(key_.Get(), L"A\\Z");
    MakeKey(key_.Get(), L"A\\Y");
    MakeKey(key_.Get(), L"Next");
    // The absent key's block would name A\Z if it were walked under the key held before.
    EXPECT_EQ(S_OK, Unregister(L"A { Y } Absent = s 'x' { Z val V = s v } Next }"));
    EXPECT_EQ(L"A/\nA\\Z/\n", Tree());
}

TEST_F(InterpreterTest, EmptyKeyRemovedAtOnceKeepsTheReaderInStep)
{
    MakeKey(key_.Get(), L"E", L"default only");
    MakeKey(key_.Get(), L"F");
    EXPECT_EQ(S_OK, Unregister(L"E = s 'x' { Inner { Deeper } val V = s v } F }"));
    EXPECT_EQ(L"", Tree());
}

TEST_F(InterpreterTest, KeptKeyKeepsEverySubkeyTheScriptDoesNotName)
{
    MakeKey(key_.Get(), L"Parent\\Parent\\Deep");
    MakeKey(key_.Get(), L"Parent\\Unrelated");
    MakeKey(key_.Get(), L"Parent\\Child");
    MakeKey(key_.Get(), L"Software\\Software\\Deep");
    MakeKey(key_.Get(), L"Software\\Gone");
    MakeKey(key_.Get(), L"CLSID\\CLSID");
    MakeKey(key_.Get(), L"CLSID\\Other");
    EXPECT_EQ(S_OK, Unregister(L"Parent { Child } NoRemove Software { Gone } CLSID { Gone } }"));
    EXPECT_EQ(L"CLSID/\nCLSID\\CLSID/\nCLSID\\Other/\nParent/\nParent\\Parent/\nParent\\Parent\\Deep/\n"
              L"Parent\\Unrelated/\nSoftware/\nSoftware\\Software/\nSoftware\\Software\\Deep/\n",
              Tree());
}

// Only the token "{" opens a block: keys named by GUIDs, with or without blocks of their own,
// unregister as they registered.
TEST_F(InterpreterTest, KeysNamedWithABraceRoundTrip)
{
    const std::wstring entries = L"K { Categories { {G1} {G2} } {G3} = s g { {G4} } '{G5}' } After }";
    EXPECT_EQ(S_OK, Register(entries));
    EXPECT_EQ(L"After/\nK/\nK\\Categories/\nK\\Categories\\{G1}/\nK\\Categories\\{G2}/\nK\\{G3}/\n"
              L"K\\{G3}:=S g\nK\\{G3}\\{G4}/\nK\\{G5}/\n",
              Tree());
    EXPECT_EQ(S_OK, Unregister(entries));
    EXPECT_EQ(L"", Tree());
}

TEST_F(InterpreterTest, BlocksAfterValueLinesAreReadInStep)
{
    MakeKey(key_.Get(), L"K\\Sub");
    EXPECT_EQ(S_OK, Register(L"K { val V = s v { Sub2 } } Z }"));
    EXPECT_EQ(L"K/\nK:V=S v\nK\\Sub/\nZ/\n", Tree());
    EXPECT_EQ(S_OK, Unregister(L"K { val V = s v { Sub } } Z }"));
    EXPECT_EQ(L"K/\nK\\Sub/\n", Tree());
}

}  // namespace
