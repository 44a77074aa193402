// vtlshell right-clicks real files in the prefix as Explorer does, with the DLL registered by
// the platform's regsvr32, and invokes the entry; vtlpublish records how it was started. The
// whole road runs twice: with the DLL in the build tree, and with a copy in a folder whose
// name holds blanks and an apostrophe.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"
#include "temp_folder.h"

namespace {

std::wstring Lowered(std::wstring text)
{
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class ShellHost : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        dll_ = BuiltDllPath();
        if (GetParam()) {
            dllFolder_ = std::make_unique<TempFolder>(L"Bob's Photo Tools");
            dll_ = dllFolder_->CopyIn(dll_, L"vtlMenu.dll");
            ASSERT_FALSE(dll_.empty());
        }
        ASSERT_EQ(0u, Regsvr32(L"/s").exitCode);
        for (const wchar_t* name : {L"Harbour.jpg", L"readme.txt", L"DUNES.TIFF"}) {
            ASSERT_FALSE(folder_.MakeFile(name).empty());
        }
    }
    void TearDown() override { EXPECT_EQ(0u, Regsvr32(L"/s /u").exitCode); }

    ProcessResult Regsvr32(const std::wstring& options)
    {
        return RunProcess(Quoted(SystemProgram(L"regsvr32.exe")) + L" " + options + L" " + Quoted(dll_));
    }
    ProcessResult Shell(const std::wstring& options, const std::vector<std::wstring>& files)
    {
        std::wstring line = Quoted(ProgramFolder() + L"vtlshell.exe") + L" " + options;
        for (const std::wstring& file : files) {
            line += L" " + Quoted(file);
        }
        return RunProcess(line);
    }
    std::vector<std::wstring> SampleFiles() const
    {
        return {folder_.Path() + L"Harbour.jpg", folder_.Path() + L"readme.txt", folder_.Path() + L"DUNES.TIFF"};
    }
    std::string DllNarrow() const { return std::string(dll_.begin(), dll_.end()); }

    std::wstring dll_;
    std::unique_ptr<TempFolder> dllFolder_;
    TempFolder folder_{L"shell host"};
};

TEST_P(ShellHost, MenuHoldsTheEntryWithItsBitmapAndInvokingItStartsTheApplication)
{
    PublisherInstallation publisher(folder_.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());

    ProcessResult run = Shell(L"--invoke \"&Publish with Vantorel\"", SampleFiles());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "menu: 1 entries\r\n0\tid 1\t\"&Publish with Vantorel\"\tbitmap\r\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "InvokeCommand \"&Publish with Vantorel\": 0x00000000")) << run.output;

    // Once vtlshell has released everything, the DLL may go, and COM unloads it.
    EXPECT_TRUE(Contains(run.output, "DllCanUnloadNow " + DllNarrow() + ": 0x00000000 (S_OK)")) << run.output;
    EXPECT_TRUE(Contains(run.output, DllNarrow() + ": unloaded")) << run.output;

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + Lowered(folder_.Path()) + L"::dunes.tiff::harbour.jpg::readme.txt\"",
              records[0].command);
    EXPECT_EQ(folder_.Path() + L"Publisher", records[0].directory);
}

TEST_P(ShellHost, SelectionFromTwoFoldersGivesTheFirstSortedFolderAndEveryName)
{
    PublisherInstallation publisher(folder_.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    std::wstring other = folder_.MakeFolders(L"Archive 2019");
    ASSERT_FALSE(other.empty());
    ASSERT_FALSE(folder_.MakeFile(L"Archive 2019\\Zebra.PNG").empty());

    // As a search result hands them over: full paths from two folders.
    ProcessResult run = Shell(L"--invoke \"&Publish with Vantorel\"", {folder_.Path() + L"readme.txt", other + L"Zebra.PNG"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    // "...\archive 2019\zebra.png" sorts before "...\readme.txt": its folder is the one given.
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + Lowered(other) + L"::zebra.png::readme.txt\"", records[0].command);
}

TEST_P(ShellHost, SelectionWithoutAnImageGetsNoEntry)
{
    ProcessResult run = Shell(L"", {folder_.Path() + L"readme.txt"});
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "handler {4C2E8A15-93D7-4B61-A0F4-7E5B12C9D836}: 0 entries")) << run.output;
    EXPECT_TRUE(Contains(run.output, "menu: 0 entries")) << run.output;

    ProcessResult invoke = Shell(L"--invoke \"&Publish with Vantorel\"", {folder_.Path() + L"readme.txt"});
    EXPECT_EQ(1u, invoke.exitCode);
    EXPECT_TRUE(Contains(invoke.output, "vtlshell: the menu has no entry \"&Publish with Vantorel\"")) << invoke.output;
}

TEST_P(ShellHost, SelectionTooLargeForTheCommandLineFailsCleanlyAndStartsNothing)
{
    PublisherInstallation publisher(folder_.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());

    // 2,000 files whose names alone, joined by "::", pass 30,000 units.
    std::wstring many = folder_.MakeFolders(L"many");
    ASSERT_FALSE(many.empty());
    std::string list;
    for (int index = 0; index < 2000; ++index) {
        wchar_t name[40];
        swprintf(name, 40, index == 0 ? L"picture %04d.jpg" : L"holiday picture %04d.txt", index);
        ASSERT_FALSE(folder_.MakeFile(std::wstring(L"many\\") + name).empty());
        std::wstring path = many + name;
        list += std::string(path.begin(), path.end()) + "\r\n";
    }
    std::wstring listFile = folder_.Path() + L"selection.txt";
    HANDLE file = CreateFileW(listFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, list.data(), static_cast<DWORD>(list.size()), &written, nullptr);
    CloseHandle(file);

    ProcessResult run = Shell(L"--invoke \"&Publish with Vantorel\" --files-from " + Quoted(listFile), {});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(1u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "InvokeCommand \"&Publish with Vantorel\": 0x80070057")) << run.output;
    EXPECT_TRUE(Contains(run.output, "DllCanUnloadNow " + DllNarrow() + ": 0x00000000 (S_OK)")) << run.output;

    Sleep(500);  // a process started by mistake would have written its record by now
    EXPECT_TRUE(publisher.Records().empty());
}

TEST_P(ShellHost, FailuresAreReportedWithAnExitCode)
{
    ProcessResult missing = Shell(L"--invoke \"&Print\"", SampleFiles());
    EXPECT_EQ(1u, missing.exitCode);
    EXPECT_TRUE(Contains(missing.output, "vtlshell: the menu has no entry \"&Print\"")) << missing.output;

    ProcessResult usage = RunProcess(Quoted(ProgramFolder() + L"vtlshell.exe") + L" --invoke");
    EXPECT_EQ(2u, usage.exitCode);
    EXPECT_TRUE(Contains(usage.output, "usage: vtlshell")) << usage.output;

    ASSERT_EQ(0u, Regsvr32(L"/s /u").exitCode);
    ProcessResult unregistered = Shell(L"", SampleFiles());
    EXPECT_EQ(1u, unregistered.exitCode);
    EXPECT_TRUE(Contains(unregistered.output, "no context-menu handler")) << unregistered.output;
    ASSERT_EQ(0u, Regsvr32(L"/s").exitCode);  // for TearDown
}

INSTANTIATE_TEST_SUITE_P(DllPlacement, ShellHost, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "InFolderWithBlanksAndApostrophe" : "InBuildTree";
                         });

}  // namespace
