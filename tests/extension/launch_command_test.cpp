#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "extension/launch_command.h"
#include "publisher.h"
#include "runtime/other_registry_view.h"

namespace {

const wchar_t kApplication[] = L"D:\\Apps\\Pub\\pub.exe";

CMINVOKECOMMANDINFO Verb(UINT_PTR offset)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = reinterpret_cast<LPCSTR>(offset);
    return info;
}

std::vector<std::wstring> Paths(const SelectionList& list)
{
    std::vector<std::wstring> paths;
    for (UINT32 index = 0; index < list.Size(); ++index) {
        paths.push_back(list.At(index));
    }
    return paths;
}

// Everything InvokeCommand works out before it starts anything, with "ExePath" in the real
// registry of the prefix. Nothing here starts a process.
class PrepareLaunchTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(publisher_.SetExePath(kApplication)); }
    void TearDown() override { list_.Destroy(); }

    void Select(const std::vector<std::wstring>& paths)
    {
        for (const std::wstring& path : paths) {
            ASSERT_TRUE(list_.Append(path.c_str()));
        }
    }
    HRESULT Prepare(UINT_PTR offset = 0)
    {
        CMINVOKECOMMANDINFO info = Verb(offset);
        return PrepareLaunch(list_, &info, *command_);
    }
    std::wstring CommandLine() const { return command_->commandLine; }

    PublisherInstallation publisher_{L""};
    SelectionList list_ = {};
    std::unique_ptr<LaunchCommand> command_ = std::make_unique<LaunchCommand>();
};

TEST_F(PrepareLaunchTest, WorkedExampleComesOutByteForByte)
{
    Select({L"D:\\Pics\\B.JPG", L"D:\\Pics\\a.png", L"D:\\Pics\\Notes.txt"});

    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(L"D:\\Apps\\Pub\\pub.exe \"2008::d:\\pics\\::a.png::b.jpg::notes.txt\"", CommandLine());
    EXPECT_STREQ(L"D:\\Apps\\Pub\\pub.exe", command_->applicationPath);
    EXPECT_STREQ(L"D:\\Apps\\Pub\\", command_->applicationFolder);
    EXPECT_EQ((std::vector<std::wstring>{L"d:\\pics\\a.png", L"d:\\pics\\b.jpg", L"d:\\pics\\notes.txt"}),
              Paths(list_));
}

TEST_F(PrepareLaunchTest, SelectionIsPassedLowerCasedInCodeUnitOrderWithTheFirstFolder)
{
    struct Case {
        std::vector<std::wstring> selection;
        const wchar_t* argument;
    };
    const Case cases[] = {
        {{L"D:\\Pics\\Photo.JPG"}, L"\"2008::d:\\pics\\::photo.jpg\""},
        {{L"C:\\f\\B.jpg", L"C:\\f\\a.jpg", L"C:\\f\\C.jpg", L"C:\\f\\_.txt", L"C:\\f\\B.jpg"},
         L"\"2008::c:\\f\\::_.txt::a.jpg::b.jpg::b.jpg::c.jpg\""},
        // Two folders, as from a search: only the first sorted path gives its folder. "d.png"
        // sorts before "deep\c.jpg", a full stop being below every letter.
        {{L"E:\\Zeta\\b.txt", L"E:\\Alpha\\Deep\\c.JPG", L"E:\\Alpha\\d.png"},
         L"\"2008::e:\\alpha\\::d.png::c.jpg::b.txt\""},
    };
    for (const Case& c : cases) {
        list_.Destroy();
        Select(c.selection);
        ASSERT_EQ(S_OK, Prepare());
        EXPECT_EQ(std::wstring(kApplication) + L" " + c.argument, CommandLine());
    }
}

TEST_F(PrepareLaunchTest, ApplicationPathIsTakenAsReadUnquoted)
{
    ASSERT_TRUE(publisher_.SetExePath(L"C:\\Program Files\\Vtl Pub\\Pub.EXE"));
    Select({L"C:\\x\\y.jpg"});
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(L"C:\\Program Files\\Vtl Pub\\Pub.EXE \"2008::c:\\x\\::y.jpg\"", CommandLine());
    EXPECT_STREQ(L"C:\\Program Files\\Vtl Pub\\", command_->applicationFolder);
}

TEST_F(PrepareLaunchTest, VerbGivenAsTextChangesNothing)
{
    Select({L"C:\\f\\B.jpg", L"C:\\f\\A.jpg"});
    CMINVOKECOMMANDINFO info = Verb(0);
    info.lpVerb = "publish";
    EXPECT_EQ(E_INVALIDARG, PrepareLaunch(list_, &info, *command_));
    EXPECT_EQ(E_INVALIDARG, PrepareLaunch(list_, nullptr, *command_));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\f\\B.jpg", L"C:\\f\\A.jpg"}), Paths(list_));
}

TEST_F(PrepareLaunchTest, UnusableExePathLeavesTheSelectionAsItWas)
{
    Select({L"C:\\f\\B.jpg", L"C:\\f\\A.jpg"});
    const std::vector<std::wstring> before = Paths(list_);

    ASSERT_TRUE(publisher_.SetExePath(L""));
    EXPECT_EQ(E_INVALIDARG, Prepare());
    ASSERT_TRUE(publisher_.SetExePath(L"pub.exe"));
    EXPECT_EQ(E_INVALIDARG, Prepare());
    std::wstring tooLong = L"C:\\" + std::wstring(300, L'p') + L".exe";
    ASSERT_TRUE(publisher_.SetExePath(tooLong));  // more than 512 bytes
    EXPECT_EQ(E_INVALIDARG, Prepare());
    ASSERT_TRUE(publisher_.DeleteExePath());
    EXPECT_EQ(E_INVALIDARG, Prepare());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kPublisherVendorKey);
    EXPECT_EQ(E_INVALIDARG, Prepare());

    EXPECT_EQ(before, Paths(list_));
}

TEST_F(PrepareLaunchTest, ExePathMayFillItsBufferOnlyWithItsTerminatingZero)
{
    Select({L"C:\\f\\a.jpg"});
    // 255 units and the zero: exactly 512 bytes.
    std::wstring longest = L"C:\\" + std::wstring(244, L'a') + L"\\pub.exe";
    ASSERT_EQ(255u, longest.size());
    ASSERT_TRUE(publisher_.SetExePath(longest));
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(longest + L" \"2008::c:\\f\\::a.jpg\"", CommandLine());

    // 256 units and no zero: the whole buffer, with no room to end the text. As text the
    // platform may refuse it itself; as binary data it arrives whole.
    std::wstring full = L"C:\\" + std::wstring(245, L'a') + L"\\pub.exe";
    ASSERT_TRUE(publisher_.SetExePathData(full.data(), 512, REG_SZ));
    EXPECT_EQ(E_INVALIDARG, Prepare());
    ASSERT_TRUE(publisher_.SetExePathData(full.data(), 512, REG_BINARY));
    EXPECT_EQ(E_INVALIDARG, Prepare());

    // Shorter data without a zero is ended where it stops.
    std::wstring unterminated = L"D:\\Apps\\pub.exe";
    ASSERT_TRUE(publisher_.SetExePathData(unterminated.data(),
                                          static_cast<DWORD>(unterminated.size() * sizeof(wchar_t)), REG_SZ));
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(L"D:\\Apps\\pub.exe \"2008::c:\\f\\::a.jpg\"", CommandLine());
}

TEST_F(PrepareLaunchTest, ExePathAbsentFromItsOwnViewIsReadFromTheOtherBuildsView)
{
    const REGSAM other = OtherRegistryView();
    if (sizeof(void*) == 8) {
        ASSERT_EQ(static_cast<REGSAM>(KEY_WOW64_32KEY), other);
    } else if (!other) {
        GTEST_SKIP() << "32-bit Windows has one registry view";
    }
    Select({L"C:\\f\\a.jpg"});
    const std::wstring own = L"D:\\Own View\\pub.exe";
    const std::wstring theirs = L"D:\\Other View\\pub.exe";
    ASSERT_TRUE(publisher_.DeleteExePath());
    ASSERT_TRUE(publisher_.SetExePath(theirs, other));
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(theirs + L" \"2008::c:\\f\\::a.jpg\"", CommandLine());

    // Present in its own view, that value is the one taken, usable or not.
    ASSERT_TRUE(publisher_.SetExePath(own));
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(own + L" \"2008::c:\\f\\::a.jpg\"", CommandLine());
    ASSERT_TRUE(publisher_.SetExePath(L"pub.exe"));
    EXPECT_EQ(E_INVALIDARG, Prepare());

    // Found in the other view, it passes the same checks: a buffer's worth without a zero fails.
    const std::wstring full = L"C:\\" + std::wstring(245, L'a') + L"\\pub.exe";
    ASSERT_TRUE(publisher_.DeleteExePath());
    ASSERT_TRUE(publisher_.SetExePathData(full.data(), 512, REG_BINARY, other));
    EXPECT_EQ(E_INVALIDARG, Prepare());
}

TEST_F(PrepareLaunchTest, OtherCommandOffsetsAreRefusedAfterTheSort)
{
    Select({L"C:\\f\\B.jpg", L"C:\\f\\A.jpg"});
    EXPECT_EQ(E_INVALIDARG, Prepare(1));
    EXPECT_EQ((std::vector<std::wstring>{L"c:\\f\\a.jpg", L"c:\\f\\b.jpg"}), Paths(list_));
    EXPECT_EQ(E_INVALIDARG, Prepare(0xFFFF));
}

TEST_F(PrepareLaunchTest, EmptySelectionIsRefused)
{
    EXPECT_EQ(E_INVALIDARG, Prepare());
}

TEST_F(PrepareLaunchTest, PathWithoutBackslashIsRefused)
{
    Select({L"C:\\f\\B.jpg", L"Photo.JPG"});
    EXPECT_EQ(E_INVALIDARG, Prepare());  // sorts behind "c:\f\b.jpg": its name is missing
    EXPECT_EQ((std::vector<std::wstring>{L"c:\\f\\b.jpg", L"photo.jpg"}), Paths(list_));

    list_.Destroy();
    Select({L"C:\\f\\B.jpg", L"", L"C:\\f\\c.jpg"});
    EXPECT_EQ(E_INVALIDARG, Prepare());  // the empty path sorts first
}

// A selection whose command line comes to exactly the given number of units: regular names,
// then one name of z's that sorts last and makes up the rest.
std::vector<std::wstring> SelectionForCommandLine(size_t units)
{
    const std::wstring folder = L"D:\\P\\";
    size_t remaining = units - (std::wstring(kApplication).size() + 1 + 7 + folder.size() + 2 + 1);
    std::vector<std::wstring> paths;
    for (int index = 0; remaining > 112; ++index) {
        wchar_t name[16];
        swprintf(name, 16, L"f%05d.jpg", index);  // 10 units, and 2 for the separator
        paths.push_back(folder + name);
        remaining -= 12;
    }
    paths.push_back(folder + std::wstring(remaining - 4, L'z') + L".jpg");
    return paths;
}

TEST_F(PrepareLaunchTest, CommandLineMayHave29999UnitsButNotOneMore)
{
    Select(SelectionForCommandLine(29999));
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(29999u, CommandLine().size());

    list_.Destroy();
    Select(SelectionForCommandLine(30000));
    EXPECT_EQ(E_INVALIDARG, Prepare());
    EXPECT_EQ(L'\0', command_->commandLine[kCommandLineUnits - 1]);

    // Names alone past the limit: refused before anything is lower-cased or sorted.
    list_.Destroy();
    std::vector<std::wstring> names = SelectionForCommandLine(40000);
    std::reverse(names.begin(), names.end());
    Select(names);
    EXPECT_EQ(E_INVALIDARG, Prepare());
    EXPECT_EQ(names, Paths(list_));
}

TEST_F(PrepareLaunchTest, SelectionFolderMayHave255UnitsButNotOneMore)
{
    std::wstring folder255 = L"C:\\" + std::wstring(251, L'd') + L"\\";
    ASSERT_EQ(255u, folder255.size());
    Select({folder255 + L"a"});
    ASSERT_EQ(S_OK, Prepare());
    EXPECT_EQ(std::wstring(kApplication) + L" \"2008::c:\\" + std::wstring(251, L'd') + L"\\::a\"",
              CommandLine());

    list_.Destroy();
    std::wstring folder256 = L"C:\\" + std::wstring(252, L'd') + L"\\";
    Select({folder256 + L"a"});
    EXPECT_EQ(E_INVALIDARG, Prepare());
}

}  // namespace
