// Both builds side by side in one 64-bit prefix, as on 64-bit Windows: the 64-bit DLL
// registered by the 64-bit regsvr32, the 32-bit DLL by the one in syswow64, and each
// right-clicked from the vtlshell of its own build, through to the publishing application.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"
#include "registry_snapshot.h"
#include "temp_folder.h"

namespace {

struct Build {
    std::wstring dll;
    std::wstring regsvr32;
    std::wstring shell;
};

// HKEY_CLASSES_ROOT as this 64-bit program enumerates it (the keys both views share, the 64-bit
// view's own and, under Wow6432Node, the 32-bit view's own), and as it opens it with the 32-bit
// view named (the redirected keys as the 32-bit side sees them).
struct BothViews {
    RegistrySnapshot view64;
    RegistrySnapshot view32;
};

BothViews Snapshot()
{
    return {TakeRegistrySnapshot(HKEY_CLASSES_ROOT, L"", KEY_WOW64_64KEY),
            TakeRegistrySnapshot(HKEY_CLASSES_ROOT, L"", KEY_WOW64_32KEY)};
}

std::string Differences(const BothViews& expected, const BothViews& actual)
{
    std::string text;
    for (const std::string& line : RegistryDifferences(expected.view64, actual.view64)) {
        text += "  64-bit view " + line + "\n";
    }
    for (const std::string& line : RegistryDifferences(expected.view32, actual.view32)) {
        text += "  32-bit view " + line + "\n";
    }
    return text;
}

std::wstring Folder(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool Contains(const std::string& text, const std::wstring& part)
{
    return text.find(std::string(part.begin(), part.end())) != std::string::npos;
}

class SideBySide : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t wow64[MAX_PATH];
        UINT length = GetSystemWow64DirectoryW(wow64, MAX_PATH);
        std::wstring x86Dll = WindowsPathFromEnvironment("VTL_X86_DLL");
        builds_[0] = {BuiltDllPath(), SystemProgram(L"regsvr32.exe"), ProgramFolder() + L"vtlshell.exe"};
        builds_[1] = {x86Dll, std::wstring(wow64, length) + L"\\regsvr32.exe", Folder(x86Dll) + L"vtlshell.exe"};
        for (const Build& build : builds_) {
            for (const std::wstring& file : {build.dll, build.regsvr32, build.shell}) {
                ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()))
                    << std::string(file.begin(), file.end()) << " is missing (build the x86 preset first)";
            }
        }
        ASSERT_FALSE(folder_.MakeFile(L"Harbour.jpg").empty());
        ASSERT_FALSE(folder_.MakeFile(L"readme.txt").empty());
    }

    bool Regsvr32(int build, bool doRegister)
    {
        const Build& b = builds_[build];
        return RunProcess(Quoted(b.regsvr32) + (doRegister ? L" /s " : L" /u /s ") + Quoted(b.dll)).exitCode == 0;
    }

    // Right-clicks the samples with each build's vtlshell and picks the entry: a registered
    // build's own DLL serves it and starts the application named for that build; an
    // unregistered build's shell gets no entry.
    void ExpectMenus(const bool (&registered)[2], const std::wstring (&application)[2], const char* step)
    {
        for (int build = 0; build < 2; ++build) {
            SCOPED_TRACE(std::string(step) + (build == 0 ? ", 64-bit vtlshell" : ", 32-bit vtlshell"));
            size_t before = publisher_.Records().size();
            ProcessResult run = RunProcess(Quoted(builds_[build].shell) + L" --invoke \"&Publish with Vantorel\" " +
                                           Quoted(folder_.Path() + L"Harbour.jpg") + L" " +
                                           Quoted(folder_.Path() + L"readme.txt"));
            if (!registered[build]) {
                EXPECT_EQ(1u, run.exitCode) << run.output;
                EXPECT_FALSE(Contains(run.output, L"InvokeCommand")) << run.output;
                continue;
            }
            EXPECT_EQ(0u, run.exitCode) << run.output;
            EXPECT_TRUE(Contains(run.output, L"DllCanUnloadNow " + builds_[build].dll + L": 0x00000000")) << run.output;
            std::vector<PublishRecord> records = publisher_.WaitForRecords(before + 1);
            ASSERT_EQ(before + 1, records.size());
            EXPECT_EQ(application[build], records.back().image);
            EXPECT_EQ(application[build] + L" \"2008::" + lowerFolder_ + L"::harbour.jpg::readme.txt\"",
                      records.back().command);
        }
    }

    Build builds_[2];
    TempFolder folder_{L"side by side"};
    PublisherInstallation publisher_{folder_.Path() + L"Publisher 64\\pub.exe"};
    std::wstring lowerFolder_ = [this] {
        std::wstring text = folder_.Path();
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
        return text;
    }();
};

// Which build registers first, and which is unregistered first.
struct Order {
    int first;
    int removedFirst;
};

class SideBySideOrder : public SideBySide, public testing::WithParamInterface<Order> {};

TEST_P(SideBySideOrder, EitherUnregistrationLeavesTheOtherWorkingAndBothLeaveNoTrace)
{
    ASSERT_TRUE(publisher_.Ready());
    const int first = GetParam().first;
    const int removed = GetParam().removedFirst;
    const int kept = 1 - removed;
    const std::wstring application[2] = {publisher_.ExePath(), publisher_.ExePath()};
    BothViews before = Snapshot();

    // The registry with the kept build alone: what unregistering the other one must give back.
    ASSERT_TRUE(Regsvr32(kept, true));
    BothViews keptAlone = Snapshot();
    ASSERT_TRUE(Regsvr32(kept, false));
    EXPECT_EQ("", Differences(before, Snapshot()));

    bool registered[2] = {};
    ASSERT_TRUE(Regsvr32(first, true));
    registered[first] = true;
    ExpectMenus(registered, application, "one build registered");
    ASSERT_TRUE(Regsvr32(1 - first, true));
    registered[1 - first] = true;
    ExpectMenus(registered, application, "both registered");

    ASSERT_TRUE(Regsvr32(removed, false));
    registered[removed] = false;
    EXPECT_EQ("", Differences(keptAlone, Snapshot())) << "after the first unregistration";
    ExpectMenus(registered, application, "one build unregistered");

    ASSERT_TRUE(Regsvr32(kept, false));
    registered[kept] = false;
    EXPECT_EQ("", Differences(before, Snapshot())) << "after both unregistrations";
    ExpectMenus(registered, application, "both unregistered");
}

INSTANTIATE_TEST_SUITE_P(Orders, SideBySideOrder,
                         testing::Values(Order{0, 1}, Order{0, 0}, Order{1, 0}, Order{1, 1}),
                         [](const testing::TestParamInfo<Order>& info) {
                             std::string text = info.param.first == 0 ? "Register64Then32" : "Register32Then64";
                             return text + (info.param.removedFirst == 0 ? "_Unregister64First" : "_Unregister32First");
                         });

TEST_F(SideBySide, EachBuildReadsExePathInItsOwnViewFirstThenInTheOther)
{
    ASSERT_TRUE(publisher_.Ready());
    const std::wstring pub64 = publisher_.ExePath();
    ASSERT_FALSE(folder_.MakeFolders(L"Publisher 32").empty());
    const std::wstring pub32 = folder_.CopyIn(pub64, L"Publisher 32\\pub.exe");
    ASSERT_FALSE(pub32.empty());
    ASSERT_TRUE(Regsvr32(0, true));
    ASSERT_TRUE(Regsvr32(1, true));
    const bool both[2] = {true, true};

    ASSERT_TRUE(publisher_.DeleteExePath(KEY_WOW64_64KEY));
    ASSERT_TRUE(publisher_.SetExePath(pub32, KEY_WOW64_32KEY));
    ExpectMenus(both, {pub32, pub32}, "only in the 32-bit view");

    ASSERT_TRUE(publisher_.DeleteExePath(KEY_WOW64_32KEY));
    ASSERT_TRUE(publisher_.SetExePath(pub64, KEY_WOW64_64KEY));
    ExpectMenus(both, {pub64, pub64}, "only in the 64-bit view");

    ASSERT_TRUE(publisher_.SetExePath(pub32, KEY_WOW64_32KEY));
    ExpectMenus(both, {pub64, pub32}, "in both views");

    EXPECT_TRUE(Regsvr32(1, false));
    EXPECT_TRUE(Regsvr32(0, false));
}

}  // namespace
