#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>

#include "built_files.h"
#include "process_run.h"
#include "registry_probe.h"
#include "registry_snapshot.h"
#include "server/vtl_guids.h"
#include "temp_folder.h"

namespace {

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_VTLShlExt);
const std::wstring kHandlerKey = L"*\\ShellEx\\ContextMenuHandlers\\VtlMenu.VTLShlExt";

// The keys the module's registry script names, relative to HKEY_CLASSES_ROOT.
const std::wstring kScriptKeys[] = {
    L"VtlMenu.VTLShlExt.1",
    L"VtlMenu.VTLShlExt.1\\CLSID",
    L"VtlMenu.VTLShlExt",
    L"VtlMenu.VTLShlExt\\CLSID",
    L"VtlMenu.VTLShlExt\\CurVer",
    L"CLSID",
    kClassKey,
    kClassKey + L"\\ProgID",
    kClassKey + L"\\VersionIndependentProgID",
    kClassKey + L"\\Programmable",
    kClassKey + L"\\InprocServer32",
    kClassKey + L"\\TypeLib",
    L"*",
    L"*\\ShellEx",
    L"*\\ShellEx\\ContextMenuHandlers",
    kHandlerKey,
};

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), towlower);
    return text;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return Lower(text).compare(0, prefix.size(), Lower(prefix)) == 0;
}

// The DLL in the build tree; a copy in a folder whose name has blanks and an apostrophe (the
// module path goes through the script as a quoted value with its apostrophe doubled); and the
// DLL signed as a release signs it, which must register exactly as the DLL as built.
class RegistrationRoad : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override
    {
        dll_ = BuiltDllPath();
        ASSERT_FALSE(dll_.empty()) << "VTL_DLL is not set";
        if (GetParam() == "InFolderWithBlanksAndApostrophe") {
            folder_ = std::make_unique<TempFolder>(L"Bob's Photo Tools");
            dll_ = folder_->CopyIn(dll_, L"vtlMenu.dll");
            ASSERT_FALSE(dll_.empty());
        } else if (GetParam() == "Signed") {
            dll_ = WindowsPathFromEnvironment("VTL_SIGNED_DLL");
            if (GetFileAttributesW(dll_.c_str()) == INVALID_FILE_ATTRIBUTES) {
                GTEST_SKIP() << "no signed DLL: the signed_files test could not sign on this machine";
            }
        }
    }

    ProcessResult Regsvr32(const std::wstring& options)
    {
        return RunProcess(Quoted(SystemProgram(L"regsvr32.exe")) + L" " + options + L" " + Quoted(dll_));
    }

    std::wstring dll_;
    std::unique_ptr<TempFolder> folder_;
};

TEST_P(RegistrationRoad, Regsvr32RegistersExactlyTheScriptAndTheTypeLibraryThenRemovesThem)
{
    RegistrySnapshot before = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    ASSERT_FALSE(before.count(kClassKey)) << "the class is registered already";

    ProcessResult registered = Regsvr32(L"/s");
    ASSERT_TRUE(registered.finished);
    ASSERT_EQ(0u, registered.exitCode) << registered.output;
    RegistrySnapshot after = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);

    // Every key the script names is there; nothing else was added but the type library's
    // own registration and its interface.
    for (const std::wstring& key : kScriptKeys) {
        EXPECT_TRUE(after.count(key)) << "missing key " << std::string(key.begin(), key.end());
    }
    std::set<std::wstring, RegistryNameLess> scriptKeys(std::begin(kScriptKeys), std::end(kScriptKeys));
    const std::wstring typeLibKey = L"TypeLib\\" + GuidText(LIBID_VTLMENULib);
    const std::wstring interfaceKey = L"Interface\\" + GuidText(IID_IVTLShlExt);
    for (const std::wstring& key : AddedKeys(before, after)) {
        // The platform registers the type library in the 32-bit view of the classes too.
        bool expected = scriptKeys.count(key) || StartsWith(key, typeLibKey) ||
                        StartsWith(key, interfaceKey) ||
                        StartsWith(key, L"Wow6432Node\\" + typeLibKey) ||
                        StartsWith(key, L"Wow6432Node\\" + interfaceKey);
        EXPECT_TRUE(expected) << "unexpected key " << std::string(key.begin(), key.end());
    }

    // The values the script writes.
    const std::wstring classText = GuidText(CLSID_VTLShlExt);
    EXPECT_EQ(L"VTLShlExt Class", RegistryString(HKEY_CLASSES_ROOT, L"VtlMenu.VTLShlExt.1"));
    EXPECT_EQ(classText, RegistryString(HKEY_CLASSES_ROOT, L"VtlMenu.VTLShlExt.1\\CLSID"));
    EXPECT_EQ(L"VTLShlExt Class", RegistryString(HKEY_CLASSES_ROOT, L"VtlMenu.VTLShlExt"));
    EXPECT_EQ(classText, RegistryString(HKEY_CLASSES_ROOT, L"VtlMenu.VTLShlExt\\CLSID"));
    EXPECT_EQ(L"VtlMenu.VTLShlExt.1", RegistryString(HKEY_CLASSES_ROOT, L"VtlMenu.VTLShlExt\\CurVer"));
    EXPECT_EQ(L"VTLShlExt Class", RegistryString(HKEY_CLASSES_ROOT, kClassKey));
    EXPECT_EQ(L"VtlMenu.VTLShlExt.1", RegistryString(HKEY_CLASSES_ROOT, kClassKey + L"\\ProgID"));
    EXPECT_EQ(L"VtlMenu.VTLShlExt",
              RegistryString(HKEY_CLASSES_ROOT, kClassKey + L"\\VersionIndependentProgID"));
    EXPECT_EQ(dll_, RegistryString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32"));
    EXPECT_EQ(L"Apartment",
              RegistryString(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32", L"ThreadingModel"));
    EXPECT_EQ(GuidText(LIBID_VTLMENULib), RegistryString(HKEY_CLASSES_ROOT, kClassKey + L"\\TypeLib"));
    EXPECT_EQ(classText, RegistryString(HKEY_CLASSES_ROOT, kHandlerKey));
    EXPECT_TRUE(after.at(kClassKey + L"\\Programmable").empty());

    // The type library is registered with the module's own path and folder.
    const std::wstring win64 = typeLibKey + L"\\1.0\\0\\win" + (sizeof(void*) == 8 ? L"64" : L"32");
    EXPECT_EQ(dll_, RegistryString(HKEY_CLASSES_ROOT, win64));
    EXPECT_EQ(dll_.substr(0, dll_.rfind(L'\\') + 1),
              RegistryString(HKEY_CLASSES_ROOT, typeLibKey + L"\\1.0\\HELPDIR"));

    ProcessResult unregistered = Regsvr32(L"/u /s");
    ASSERT_TRUE(unregistered.finished);
    EXPECT_EQ(0u, unregistered.exitCode) << unregistered.output;
    RegistrySnapshot restored = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    std::vector<std::string> differences = RegistryDifferences(before, restored);
    EXPECT_TRUE(differences.empty()) << [&] {
        std::string text = "HKEY_CLASSES_ROOT differs from before registration:\n";
        for (const std::string& line : differences) {
            text += "  " + line + "\n";
        }
        return text;
    }();
}

TEST(Registration, UnregisteringWhatIsNotRegisteredSucceedsAndChangesNothing)
{
    RegistrySnapshot before = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    ProcessResult unregistered = RunProcess(Quoted(SystemProgram(L"regsvr32.exe")) + L" /u /s " +
                                            Quoted(BuiltDllPath()));
    ASSERT_TRUE(unregistered.finished);
    EXPECT_EQ(0u, unregistered.exitCode) << unregistered.output;
    EXPECT_TRUE(RegistryDifferences(before, TakeRegistrySnapshot(HKEY_CLASSES_ROOT)).empty());
}

INSTANTIATE_TEST_SUITE_P(DllPlacement, RegistrationRoad,
                         testing::Values("InBuildTree", "InFolderWithBlanksAndApostrophe", "Signed"),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
