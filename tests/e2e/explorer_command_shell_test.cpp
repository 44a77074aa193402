// vtlshell fills Windows 11's first-level menu from the package manifest, as Explorer does
// from the registered package: the command's class from the built DLL, created through COM,
// asked with the shell's item array for real files, and invoked; vtlpublish records how it
// was started. Nothing is registered: the package, not regsvr32, declares this class.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"
#include "temp_folder.h"

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class FirstLevelMenu : public testing::Test {
protected:
    void SetUp() override
    {
        manifest_ = WindowsPathFromEnvironment("VTL_PACKAGE_MANIFEST");
        ASSERT_FALSE(manifest_.empty()) << "VTL_PACKAGE_MANIFEST is not set";
        for (const wchar_t* name : {L"Harbour.jpg", L"readme.txt", L"DUNES.TIFF"}) {
            ASSERT_FALSE(folder_.MakeFile(name).empty());
        }
    }
    ProcessResult Shell(const std::wstring& options, const std::vector<std::wstring>& names)
    {
        std::wstring dll = BuiltDllPath();
        std::wstring line = Quoted(ProgramFolder() + L"vtlshell.exe") + L" --explorer-command " + Quoted(manifest_) +
                            L" --external-location " + Quoted(dll.substr(0, dll.find_last_of(L'\\'))) + L" " + options;
        for (const std::wstring& name : names) {
            line += L" " + Quoted(folder_.Path() + name);
        }
        return RunProcess(line);
    }
    std::string DllNarrow() const
    {
        std::wstring dll = BuiltDllPath();
        return std::string(dll.begin(), dll.end());
    }

    std::wstring manifest_;
    TempFolder folder_{L"first level"};
};

TEST_F(FirstLevelMenu, EntryWithItsIconStartsTheApplicationAsTheClassicEntryDoes)
{
    PublisherInstallation publisher(folder_.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());

    ProcessResult run = Shell(L"--invoke \"Publish with Vantorel\"", {L"Harbour.jpg", L"readme.txt", L"DUNES.TIFF"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "command {6D1A6FE6-784E-4EDC-8985-B6822B5D6EEF}: shown\r\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "first-level menu: 1 entries\r\n0\t\"Publish with Vantorel\"\ticon " +
                                         DllNarrow() + ",-202\r\n"))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "Invoke \"Publish with Vantorel\": 0x00000000")) << run.output;
    EXPECT_TRUE(Contains(run.output, "DllCanUnloadNow " + DllNarrow() + ": 0x00000000 (S_OK)")) << run.output;
    EXPECT_TRUE(Contains(run.output, DllNarrow() + ": unloaded")) << run.output;

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    std::wstring folder = folder_.Path();
    CharLowerBuffW(&folder[0], static_cast<DWORD>(folder.size()));
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + folder + L"::dunes.tiff::harbour.jpg::readme.txt\"",
              records[0].command);
    EXPECT_EQ(folder_.Path() + L"Publisher", records[0].directory);
}

TEST_F(FirstLevelMenu, SelectionWithoutAnImageHidesTheEntry)
{
    ProcessResult run = Shell(L"", {L"readme.txt"});
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "command {6D1A6FE6-784E-4EDC-8985-B6822B5D6EEF}: hidden\r\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "first-level menu: 0 entries\r\n")) << run.output;

    ProcessResult invoke = Shell(L"--invoke \"Publish with Vantorel\"", {L"readme.txt"});
    EXPECT_EQ(1u, invoke.exitCode);
    EXPECT_TRUE(Contains(invoke.output, "vtlshell: the first-level menu has no entry \"Publish with Vantorel\""))
        << invoke.output;
    EXPECT_TRUE(Contains(invoke.output, DllNarrow() + ": unloaded")) << invoke.output;
}

}  // namespace
