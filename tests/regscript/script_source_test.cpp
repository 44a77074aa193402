#include <gtest/gtest.h>

#include <string>

#include "built_files.h"
#include "module_override.h"
#include "registry_fixture.h"
#include "regscript/replacement_map.h"
#include "regscript/script_source.h"
#include "regscript/script_walk.h"
#include "server/class_object_entry.h"

namespace {

class RunScriptTest : public testing::Test {
protected:
    // Runs blocks written as "root-block-body" pieces, each inside the test key's own head.
    HRESULT Run(const std::wstring& text, BOOL doRegister)
    {
        ScriptReader reader = {nullptr, &map_};
        return RunScript(reader, text.c_str(), doRegister);
    }
    std::wstring Block(const std::wstring& body)
    {
        return key_.ScriptHead() + L" " + body + L" } } } } }\r\n";
    }

    TestKey key_{L"RunScript"};
    ReplacementMap map_;
};

TEST_F(RunScriptTest, FailedRegisterUndoesOnlyItsOwnBlock)
{
    MakeKey(key_.Get(), L"Second\\Before", L"there before");
    EXPECT_EQ(DISP_E_EXCEPTION,
              Run(Block(L"First = s f") + Block(L"Second { Inner } Bad\\Name") +
                      Block(L"Third"),
                  TRUE));
    EXPECT_EQ(L"First/\nFirst:=S f\nSecond/\nSecond\\Before/\nSecond\\Before:=S there before\n",
              Dump(key_.Get()));
}

// The undo walk reads past what failed to register without failing itself; the caller gets
// the register walk's own failure, and the block is gone.
TEST_F(RunScriptTest, FailedRegisterReturnsItsOwnFailureAfterTheUndo)
{
    struct Case {
        const wchar_t* body;
        HRESULT result;
    };
    for (const Case& c : {Case{L"A = s a { Inner } B = b 'abc' C", E_FAIL},
                          {L"A = s a { Inner } Delete NoRemove B = s 'v' C", DISP_E_EXCEPTION}}) {
        EXPECT_EQ(c.result, Run(Block(c.body), TRUE)) << c.body;
        EXPECT_EQ(L"", Dump(key_.Get())) << c.body;
    }
}

TEST_F(RunScriptTest, FailedUnregisterStopsWhereItFailed)
{
    MakeKey(key_.Get(), L"A");
    MakeKey(key_.Get(), L"B");
    EXPECT_EQ(DISP_E_EXCEPTION, Run(Block(L"A") + Block(L"Bad\\Name B"), FALSE));
    EXPECT_EQ(L"B/\n", Dump(key_.Get()));
}

TEST_F(RunScriptTest, RootEntriesNeedAKnownNameAndABrace)
{
    struct Case {
        std::wstring text;
        HRESULT result;
    };
    for (const Case& c : {Case{L"", S_OK}, {L" \r\n\t ", DISP_E_EXCEPTION},
                          {L"HKCU { } \r\n ", S_OK}, {L"HKCU {x }", S_OK},
                          {L"HKCX { }", DISP_E_EXCEPTION}, {L"HKCU = { }", DISP_E_EXCEPTION},
                          {L"HKCU { } } ", DISP_E_EXCEPTION}, {L"HKCU", DISP_E_EXCEPTION},
                          {L"HKCU { %Unknown% }", DISP_E_EXCEPTION}}) {
        EXPECT_EQ(c.result, Run(c.text, TRUE)) << c.text;
        EXPECT_EQ(c.result, Run(c.text, FALSE)) << c.text;
    }
}

// The scripts of the test-only module regscript_scripts.dll, run as the module's own.
class ResourceScriptTest : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = WindowsPathFromEnvironment("VTL_REGSCRIPT_SCRIPTS");
        module_ = LoadLibraryW(path_.c_str());
        ASSERT_NE(nullptr, module_) << "VTL_REGSCRIPT_SCRIPTS";
        record_.instance = module_;
    }
    void TearDown() override { FreeLibrary(module_); }
    HRESULT Apply(UINT id, BOOL doRegister, const ReplacementRow* extra = nullptr)
    {
        return ApplyRegistryResource(&record_, id, doRegister, extra);
    }
    std::wstring Tree() { return Dump(key_.Get()); }

    TestKey key_{L"Resources"};
    std::wstring path_;
    HMODULE module_ = nullptr;
    ModuleState record_ = {};
};

TEST_F(ResourceScriptTest, GoodScriptThroughTheClassRowRegistersAndUnregisters)
{
    ModuleState module = *theModule;
    module.instance = module_;
    ModuleOverride override(module);
    EXPECT_EQ(S_OK, vtlMenuClassTable[0].updateRegistry(TRUE));
    EXPECT_EQ(L"Good/\nGood:=S good script\nGood\\Child/\nGood\\Child:=S child\n"
              L"Good\\Child:Bytes=B 0aff10\nGood\\Child:Count=D 7\nGood\\Programmable/\n"
              L"Good\\Quoted Name/\nGood\\Quoted Name:=S It's\n",
              Tree());
    EXPECT_EQ(S_OK, vtlMenuClassTable[0].updateRegistry(FALSE));
    EXPECT_EQ(L"", Tree());
}

TEST_F(ResourceScriptTest, BrokenScriptUndoesItsFailingBlock)
{
    EXPECT_EQ(DISP_E_EXCEPTION, Apply(102, TRUE));
    EXPECT_EQ(L"First/\nFirst:=S stays\n", Tree());
}

TEST_F(ResourceScriptTest, TextEndsAtTheFirstZeroByteOrWithTheResource)
{
    EXPECT_EQ(S_OK, Apply(103, TRUE));
    EXPECT_EQ(S_OK, Apply(104, TRUE));
    EXPECT_EQ(S_OK, Apply(0x10000 | 104, TRUE));  // only the low 16 bits name the resource

    // 108 holds no zero byte and 109's text follows it at once in the file.
    HRSRC unterminated = FindResourceW(module_, MAKEINTRESOURCEW(108), L"REGISTRY");
    HRSRC after = FindResourceW(module_, MAKEINTRESOURCEW(109), L"REGISTRY");
    auto* bytes = static_cast<const char*>(LockResource(LoadResource(module_, unterminated)));
    ASSERT_EQ(LockResource(LoadResource(module_, after)),
              bytes + SizeofResource(module_, unterminated));
    EXPECT_EQ(S_OK, Apply(108, TRUE));
    EXPECT_EQ(L"Before/\nBefore:=S runs\nUnterminated/\nUnterminated:=S whole\n", Tree());
}

TEST_F(ResourceScriptTest, VariablesAndTheAnsiCodePage)
{
    const ReplacementRow extra[] = {{L"Module", L"never used"}, {L"Extra", L"e"}, {nullptr, L"x"}};
    EXPECT_EQ(DISP_E_EXCEPTION, Apply(107, TRUE));
    EXPECT_EQ(S_OK, Apply(105, TRUE, extra));
    EXPECT_EQ(S_OK, Apply(107, TRUE, extra));
    EXPECT_EQ(S_OK, Apply(110, TRUE));
    WCHAR e9[2] = {};
    MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, e9, 1);
    EXPECT_EQ(L"Ansi/\nAnsi:=S caf" + std::wstring(e9) + L"\nExtra/\nExtra:=S e\nVars/\nVars:=S " +
                  path_ + L"\nVars:Around=S %" + path_ + L"%\nVars:Percent=S 100%\n",
              Tree());
}

TEST_F(ResourceScriptTest, ModulePathWithAnApostropheReadsBackWhole)
{
    WCHAR temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"Bob's";
    std::wstring copy = folder + L"\\scripts.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(path_.c_str(), copy.c_str(), FALSE));
    HMODULE loaded = LoadLibraryW(copy.c_str());
    ASSERT_NE(nullptr, loaded);
    WCHAR full[MAX_PATH];
    GetModuleFileNameW(loaded, full, MAX_PATH);
    record_.instance = loaded;
    EXPECT_EQ(S_OK, Apply(105, TRUE));
    FreeLibrary(loaded);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_NE(std::wstring::npos, Tree().find(L"Vars:=S " + std::wstring(full) + L"\n"));
}

TEST_F(ResourceScriptTest, MissingFileOrResourceGivesTheLastError)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), Apply(999, TRUE));

    const wchar_t* absent = L"Z:\\no\\such\\module.dll";
    SetLastError(0);
    LoadLibraryExW(absent, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRESULT expected = HRESULT_FROM_WIN32(GetLastError());
    ScriptReader reader = {nullptr, nullptr};
    EXPECT_NE(S_OK, expected);
    EXPECT_EQ(expected, RunResourceScript(reader, absent, 101, L"REGISTRY", TRUE));
    EXPECT_EQ(L"", Tree());
}

TEST(DoubleApostrophesTest, WritesEveryApostropheTwice)
{
    WCHAR doubled[16];
    DoubleApostrophes(doubled, L"Bob's ''");
    EXPECT_STREQ(L"Bob''s ''''", doubled);
}

}  // namespace
