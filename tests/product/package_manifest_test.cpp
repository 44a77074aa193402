// The sparse package's manifest, read with the platform's XML parser: well-formed, and
// declaring the Explorer command's class, served by the DLL, for files of every type.

#include <gtest/gtest.h>

#include <string>

#include "built_files.h"
#include "com_apartment.h"
#include "package_manifest.h"
#include "registry_probe.h"
#include "server/vtl_guids.h"
#include "temp_folder.h"

namespace {

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

class PackageManifestTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(apartment_.Result()));
        path_ = WindowsPathFromEnvironment("VTL_PACKAGE_MANIFEST");
        ASSERT_FALSE(path_.empty()) << "VTL_PACKAGE_MANIFEST is not set";
    }
    ComApartment apartment_;
    std::wstring path_;
};

TEST_F(PackageManifestTest, DeclaresTheExplorerCommandServedByTheDll)
{
    PackageManifest manifest;
    std::wstring problem;
    ASSERT_EQ(S_OK, ReadPackageManifest(path_, manifest, problem)) << std::string(problem.begin(), problem.end());
    EXPECT_EQ(L"CorvalineVTL.VtlMenu", manifest.identityName);
    EXPECT_EQ(L"CN=Corvaline VTL", manifest.identityPublisher);
    EXPECT_EQ(L"true", manifest.allowExternalContent);  // a sparse package: the DLL stays outside it

    std::wstring clsid = GuidText(CLSID_VTLExplorerCommand);
    clsid = clsid.substr(1, clsid.size() - 2);  // manifests write GUIDs without braces
    ASSERT_EQ(1u, manifest.verbs.size());
    EXPECT_EQ(L"*", manifest.verbs[0].itemType);
    EXPECT_EQ(clsid, Upper(manifest.verbs[0].clsid));
    ASSERT_EQ(1u, manifest.classes.size());
    EXPECT_EQ(clsid, Upper(manifest.classes[0].id));
    EXPECT_EQ(L"STA", manifest.classes[0].threadingModel);  // as the classic class: apartment-threaded

    std::wstring dll = BuiltDllPath();
    std::wstring fileName = dll.substr(dll.find_last_of(L'\\') + 1);
    EXPECT_EQ(0, lstrcmpiW(fileName.c_str(), manifest.classes[0].path.c_str()))
        << std::string(manifest.classes[0].path.begin(), manifest.classes[0].path.end());
}

// The parser is the judge of well-formedness: the same manifest cut short is refused, with
// the line where it went wrong.
TEST_F(PackageManifestTest, ManifestCutShortIsRefused)
{
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string text(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    ASSERT_NE(std::string::npos, text.find("</Applications>"));

    TempFolder folder(L"manifest");
    std::wstring cut = folder.Path() + L"AppxManifest.xml";
    file = CreateFileW(cut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string shortened = text.substr(0, text.find("</Applications>"));
    DWORD written = 0;
    WriteFile(file, shortened.data(), static_cast<DWORD>(shortened.size()), &written, nullptr);
    CloseHandle(file);

    PackageManifest manifest;
    std::wstring problem;
    EXPECT_TRUE(FAILED(ReadPackageManifest(cut, manifest, problem)));
    EXPECT_EQ(0u, problem.rfind(L"line ", 0)) << std::string(problem.begin(), problem.end());
    EXPECT_TRUE(manifest.verbs.empty());
}

}  // namespace
