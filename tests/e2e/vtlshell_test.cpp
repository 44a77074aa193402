// vtlshell right-clicks real files in the prefix as Explorer does, with the DLL registered by
// the platform's regsvr32, and invokes the entry; vtlpublish records how it was started.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"
#include "temp_folder.h"

namespace {

class ShellHost : public testing::Test {
protected:
    void SetUp() override
    {
        // The first program of a prefix that needs a window starts the prefix's desktop
        // process, which keeps that program's handles, our output pipe among them: start it
        // from here instead.
        ASSERT_NE(nullptr, GetDesktopWindow());
        ASSERT_EQ(0u, Regsvr32(L"/s").exitCode);
        for (const wchar_t* name : {L"Harbour.jpg", L"readme.txt", L"DUNES.TIFF"}) {
            ASSERT_FALSE(folder_.MakeFile(name).empty());
        }
    }
    void TearDown() override { EXPECT_EQ(0u, Regsvr32(L"/s /u").exitCode); }

    ProcessResult Regsvr32(const std::wstring& options)
    {
        return RunProcess(Quoted(SystemProgram(L"regsvr32.exe")) + L" " + options + L" " + Quoted(BuiltDllPath()));
    }
    ProcessResult Shell(const std::wstring& options)
    {
        std::wstring line = Quoted(ProgramFolder() + L"vtlshell.exe") + L" " + options;
        for (const wchar_t* name : {L"Harbour.jpg", L"readme.txt", L"DUNES.TIFF"}) {
            line += L" " + Quoted(folder_.Path() + name);
        }
        return RunProcess(line);
    }

    TempFolder folder_{L"shell host"};
};

TEST_F(ShellHost, MenuHoldsTheEntryWithItsBitmapAndInvokingItStartsTheApplication)
{
    PublisherInstallation publisher(folder_.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());

    ProcessResult run = Shell(L"--invoke \"&Publish with Vantorel\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("\"&Publish with Vantorel\"\tbitmap\r\n")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("InvokeCommand \"&Publish with Vantorel\": 0x00000000")) << run.output;

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    std::wstring folder = folder_.Path();
    CharLowerBuffW(&folder[0], static_cast<DWORD>(folder.size()));
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + folder + L"::dunes.tiff::harbour.jpg::readme.txt\"",
              records[0].command);
    EXPECT_EQ(folder_.Path() + L"Publisher", records[0].directory);
}

TEST_F(ShellHost, FailuresAreReportedWithAnExitCode)
{
    ProcessResult missing = Shell(L"--invoke \"&Print\"");
    EXPECT_EQ(1u, missing.exitCode);
    EXPECT_NE(std::string::npos, missing.output.find("vtlshell: the menu has no entry \"&Print\"")) << missing.output;

    ProcessResult usage = RunProcess(Quoted(ProgramFolder() + L"vtlshell.exe") + L" --invoke");
    EXPECT_EQ(2u, usage.exitCode);
    EXPECT_NE(std::string::npos, usage.output.find("usage: vtlshell")) << usage.output;

    ASSERT_EQ(0u, Regsvr32(L"/s /u").exitCode);
    ProcessResult unregistered = Shell(L"");
    EXPECT_EQ(1u, unregistered.exitCode);
    EXPECT_NE(std::string::npos, unregistered.output.find("no context-menu handler")) << unregistered.output;
    ASSERT_EQ(0u, Regsvr32(L"/s").exitCode);  // for TearDown
}

}  // namespace
