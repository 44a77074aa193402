#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "built_files.h"
#include "com_apartment.h"
#include "drop_files.h"
#include "extension/launch.h"
#include "extension/selection_capture.h"
#include "publisher.h"
#include "temp_folder.h"

namespace {

std::wstring CurrentDirectory()
{
    wchar_t directory[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    return directory;
}

std::wstring Lower(std::wstring text)
{
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Real starts of vtlpublish, installed in the prefix, on real files and the shell's own data
// objects; each start is compared with what vtlpublish recorded.
class LaunchTest : public testing::Test {
protected:
    void TearDown() override { list_.Destroy(); }

    HRESULT Invoke()
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.nShow = SW_SHOWNORMAL;
        return InvokePublishCommand(list_, &info);
    }
    void SelectFiles(const std::wstring& relativeFolder, const std::vector<std::wstring>& names)
    {
        for (const std::wstring& name : names) {
            ASSERT_FALSE(folder_.MakeFile(relativeFolder + name).empty());
        }
        ComPtr<IDataObject> data = ShellDataObject(folder_.Path() + relativeFolder, names);
        ASSERT_TRUE(data);
        ASSERT_EQ(S_OK, CaptureSelection(list_, data.Get()));
    }
    void SelectPaths(const std::vector<std::wstring>& paths)
    {
        ComPtr<IDataObject> data = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, paths);
        ASSERT_EQ(S_OK, CaptureSelection(list_, data.Get()));
    }

    ComApartment apartment_;
    TempFolder folder_{L"launch"};
    SelectionList list_ = {};
};

TEST_F(LaunchTest, WorkedExampleStartsTheApplicationInItsFolder)
{
    PublisherInstallation publisher(folder_.Path() + L"Apps\\Pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    SelectFiles(L"Pics\\", {L"B.JPG", L"a.png", L"Notes.txt"});
    const std::wstring host = CurrentDirectory();

    ASSERT_EQ(S_OK, Invoke());

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(publisher.ExePath(), records[0].image);
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + Lower(folder_.Path()) + L"pics\\::a.png::b.jpg::notes.txt\"",
              records[0].command);
    // The platform reports a current directory without its trailing backslash.
    EXPECT_EQ(folder_.Path() + L"Apps\\Pub", records[0].directory);
    EXPECT_EQ(host, CurrentDirectory()) << "the host's own directory is left alone";
}

// A file that exists for one scope.
struct ScopedCopy {
    ScopedCopy(const std::wstring& from, std::wstring to) : path(std::move(to))
    {
        copied = CopyFileW(from.c_str(), path.c_str(), FALSE);
    }
    ~ScopedCopy() { DeleteFileW(path.c_str()); }
    std::wstring path;
    bool copied;
};

TEST_F(LaunchTest, BlanksInTheApplicationPathStartNoOtherProgram)
{
    // A decoy where the platform looks first for an unquoted "C:\Program Files\..." path.
    ScopedCopy decoy(ProgramFolder() + L"vtlpublish.exe", L"C:\\Program.exe");
    ASSERT_TRUE(decoy.copied);
    PublisherInstallation publisher(L"C:\\Program Files\\Vtl Publish Test\\vtlpublish.exe");
    ASSERT_TRUE(publisher.Ready());
    SelectFiles(L"", {L"cover.tif"});

    ASSERT_EQ(S_OK, Invoke());

    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(publisher.ExePath(), records[0].image);
    // The command line itself stays as built: the path unquoted, then the argument.
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + Lower(folder_.Path()) + L"::cover.tif\"", records[0].command);
}

TEST_F(LaunchTest, ReadAccessToTheKeyIsEnough)
{
    PublisherInstallation publisher(folder_.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    SelectFiles(L"", {L"logo.png"});

    // As for a user without administrator rights: the key may be read, not changed. Its owner
    // may always change the access list again, so the key can be removed afterwards.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPublisherKeyPath, 0, WRITE_DAC, &key));
    auto setAccess = [key](const wchar_t* descriptor) {
        PSECURITY_DESCRIPTOR security = nullptr;
        ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, &security, nullptr);
        LONG status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security);
        LocalFree(security);
        return status;
    };
    ASSERT_EQ(ERROR_SUCCESS, setAccess(L"D:P(A;;KR;;;WD)"));
    HKEY probe = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPublisherKeyPath, 0, KEY_ALL_ACCESS, &probe));

    EXPECT_EQ(S_OK, Invoke());
    EXPECT_EQ(1u, publisher.WaitForRecords(1).size());
    EXPECT_EQ(ERROR_SUCCESS, setAccess(L"D:P(A;;KA;;;WD)"));
    RegCloseKey(key);
}

TEST_F(LaunchTest, FailedStartIsReportedWithThePlatformsError)
{
    PublisherInstallation publisher(L"");
    ASSERT_TRUE(publisher.SetExePath(folder_.Path() + L"missing.exe"));
    SelectFiles(L"", {L"a.jpg"});

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Invoke());
}

TEST_F(LaunchTest, NoHandleToTheStartedApplicationStaysOpen)
{
    PublisherInstallation publisher(folder_.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    SelectFiles(L"", {L"a.jpg", L"b.jpg"});

    ASSERT_EQ(S_OK, Invoke());
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    ASSERT_NE(0u, records[0].process);
    EXPECT_EQ(0, HandlesToProcess(records[0].process));
}

TEST_F(LaunchTest, LongestCommandLineArrivesWhole)
{
    PublisherInstallation publisher(folder_.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    std::wstring expected = publisher.ExePath() + L" \"2008::c:\\scans\\::";
    std::vector<std::wstring> paths;
    for (int index = 0; expected.size() + 12 <= 29999 - 120; ++index) {
        std::wstring name = L"s" + std::to_wstring(10000 + index) + L".tif";
        paths.push_back(L"C:\\Scans\\" + name);
        expected += name + L"::";
    }
    std::wstring last = std::wstring(29999 - expected.size() - 1 - 4, L'x') + L".tif";
    paths.push_back(L"C:\\Scans\\" + last);
    expected += last + L"\"";
    SelectPaths(paths);

    ASSERT_EQ(S_OK, Invoke());
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(29999u, records[0].command.size());
    EXPECT_TRUE(records[0].command == expected);
}

TEST_F(LaunchTest, RefusedLaunchStartsNothingAndKeepsTheDirectory)
{
    PublisherInstallation publisher(folder_.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    const std::wstring before = CurrentDirectory();

    std::vector<std::wstring> many;  // one unit over the command line's capacity and more
    for (int index = 0; index < 3000; ++index) {
        many.push_back(L"C:\\Scans\\page" + std::to_wstring(10000 + index) + L".tif");
    }
    SelectPaths(many);
    EXPECT_EQ(E_INVALIDARG, Invoke());
    SelectPaths({L"C:\\" + std::wstring(252, L'd') + L"\\a"});  // a folder of 256 units
    EXPECT_EQ(E_INVALIDARG, Invoke());

    // An "ExePath" of binary data that fills its buffer without a terminating zero; the same
    // path one unit shorter starts the application (the platform folds repeated backslashes).
    std::wstring padded = folder_.Path() + L"pub" + std::wstring(256, L'\\');
    ASSERT_TRUE(publisher.SetExePathData((padded.substr(0, 249) + L"pub.exe").data(), 512, REG_BINARY));
    SelectPaths({L"C:\\Scans\\one.tif"});
    EXPECT_EQ(E_INVALIDARG, Invoke());
    EXPECT_EQ(before, CurrentDirectory());

    ASSERT_TRUE(publisher.SetExePath(padded.substr(0, 248) + L"pub.exe"));
    ASSERT_EQ(S_OK, Invoke());
    ASSERT_EQ(1u, publisher.WaitForRecords(1).size());
    Sleep(500);
    EXPECT_EQ(1u, publisher.Records().size());  // the refused calls started nothing
}

}  // namespace
