#include <gtest/gtest.h>

#include <string>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"

namespace {

ProcessResult Publish(const std::wstring& arguments)
{
    return RunProcess(Quoted(ProgramFolder() + L"vtlpublish.exe") + L" " + arguments);
}

TEST(Vtlpublish, PrintsTheFolderAndEveryName)
{
    ProcessResult run = Publish(L"\"2008::c:\\my pics\\::a.png::b.jpg::notes.txt\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_EQ("c:\\my pics\\\r\na.png\r\nb.jpg\r\nnotes.txt\r\n", run.output);
}

TEST(Vtlpublish, RecordsItsStartAndFindsItsArgumentBehindAnUnquotedPath)
{
    PublisherInstallation publisher(L"C:\\Program Files\\Vtl Pub Tool\\vtlpublish.exe");
    ASSERT_TRUE(publisher.Ready());
    // Started as the menu entry starts it: the path unquoted, the application named apart.
    std::wstring commandLine = publisher.ExePath() + L" \"2008::d:\\x\\::\x0101.jpg\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(publisher.ExePath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(0u, exitCode);

    std::vector<PublishRecord> records = publisher.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(publisher.ExePath(), records[0].image);
    EXPECT_EQ(process.dwProcessId, records[0].process);
    EXPECT_EQ(commandLine, records[0].command);  // unit for unit, U+0101 included
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    EXPECT_EQ(directory, records[0].directory);
}

TEST(Vtlpublish, MalformedArgumentsFailWithAMessage)
{
    for (const wchar_t* arguments :
         {L"", L"\"2008::c:\\x\\\"", L"\"2008::c:\\x\\::\"", L"\"2008::c:\\x::a.jpg\"",
          L"\"2009::c:\\x\\::a.jpg\"", L"\"2008::c:\\x\\::a.jpg::::b.jpg\"", L"\"2008::c:\\x\\::a.jpg",
          L"\"2008::c:\\x\\::a.jpg\" extra", L"one two"}) {
        ProcessResult run = Publish(arguments);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(2u, run.exitCode) << run.output;
        EXPECT_EQ(0u, run.output.find("vtlpublish: expected one argument")) << run.output;
    }
}

}  // namespace
