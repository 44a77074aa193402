#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <thread>
#include <vector>

#include "automation_test_library.h"
#include "built_files.h"
#include "module_override.h"
#include "registry_probe.h"
#include "registry_snapshot.h"
#include "runtime/other_registry_view.h"
#include "server/module_type_lib.h"
#include "server/other_build_registration.h"
#include "server/server_registration.h"
#include "server/vtl_guids.h"

namespace {

const CLSID kFirstClass = {0x5A1C0E11, 0x7B2D, 0x4E3F, {0x8A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x01}};
const CLSID kSecondClass = {0x5A1C0E11, 0x7B2D, 0x4E3F, {0x8A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x02}};
const CLSID kThirdClass = {0x5A1C0E11, 0x7B2D, 0x4E3F, {0x8A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x03}};
const CLSID kUnregisteredClass = {0x5A1C0E11, 0x7B2D, 0x4E3F, {0x8A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x04}};
const CATID kImplementedCategory = {0x6B2D1F22, 0x8C3E, 0x4F40, {0x9B, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66, 0x01}};
const CATID kRequiredCategory = {0x6B2D1F22, 0x8C3E, 0x4F40, {0x9B, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66, 0x02}};

// What the fake rows were asked to do, in order ("first+" registers, "first-" unregisters).
std::vector<std::string> calls;
HRESULT firstResult = S_OK;
HRESULT thirdResult = S_OK;

HRESULT UpdateFirst(BOOL doRegister)
{
    calls.push_back(doRegister ? "first+" : "first-");
    return firstResult;
}

HRESULT UpdateSecond(BOOL doRegister)
{
    calls.push_back(doRegister ? "second+" : "second-");
    return S_OK;
}

HRESULT UpdateThird(BOOL doRegister)
{
    calls.push_back(doRegister ? "third+" : "third-");
    return thirdResult;
}

const WCHAR* NoDescription()
{
    return nullptr;
}

const WCHAR* SomeDescription()
{
    return L"a class registered on its own";
}

const CategoryEntry kCategories[] = {
    {1, &kImplementedCategory},
    {2, &kRequiredCategory},
    {0, nullptr},
};

const CategoryEntry* SomeCategories()
{
    return kCategories;
}

std::wstring ClassKey(const CLSID& clsid)
{
    return L"CLSID\\" + GuidText(clsid);
}

bool HasCategory(const CLSID& clsid, const wchar_t* kind, const CATID& category)
{
    return RegistryKeyExists(HKEY_CLASSES_ROOT,
                             ClassKey(clsid) + L"\\" + kind + L"\\" + GuidText(category));
}

// CLSID\{clsid}\InprocServer32 naming a server, in one registry view of HKEY_CLASSES_ROOT.
bool SetServer(REGSAM view, const CLSID& clsid, const wchar_t* path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey(clsid) + L"\\InprocServer32").c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE | view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                 static_cast<DWORD>((lstrlenW(path) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void DeleteClassKey(REGSAM view, const CLSID& clsid)
{
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | view, &classes) == ERROR_SUCCESS) {
        RegDeleteTreeW(classes, GuidText(clsid).c_str());
        RegDeleteKeyW(classes, GuidText(clsid).c_str());
        RegCloseKey(classes);
    }
}

bool TypeLibRegistered()
{
    return RegistryKeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(kTestLibraryId) + L"\\1.0");
}

// A class table of the test's own: the first row has no description and two categories, the
// second a description, the third a null description function, the fourth no registry entries. The record's type library
// module is the test type library's module.
class ServerRegistrationTest : public testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        firstResult = S_OK;
        thirdResult = S_OK;
        table_[0] = {&kFirstClass, UpdateFirst, nullptr, nullptr, nullptr, 0, NoDescription,
                     SomeCategories, nullptr};
        table_[1] = {&kSecondClass, UpdateSecond, nullptr, nullptr, nullptr, 0, SomeDescription,
                     nullptr, nullptr};
        table_[2] = {&kThirdClass, UpdateThird, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                     nullptr};
        table_[3] = {&kUnregisteredClass, nullptr, nullptr, nullptr, nullptr, 0, NoDescription, SomeCategories,
                     nullptr};
        table_[4] = {};
        record_.classTable = table_;

        typeLibModule_ = LoadLibraryW(WindowsPathFromEnvironment("VTL_TYPELIB_MODULE").c_str());
        ASSERT_NE(nullptr, typeLibModule_) << "VTL_TYPELIB_MODULE must name the built test module";
        record_.typeLibInstance = typeLibModule_;
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comStarted_ = true;
        CleanUp();
    }
    void TearDown() override
    {
        CleanUp();
        if (comStarted_) {
            CoUninitialize();
        }
        if (typeLibModule_) {
            FreeLibrary(typeLibModule_);
        }
    }
    void CleanUp()
    {
        RemoveTestTypeLibRegistration();
        for (const CLSID* clsid : {&kFirstClass, &kSecondClass, &kThirdClass, &kUnregisteredClass}) {
            DeleteClassKey(0, *clsid);
            DeleteClassKey(OtherRegistryView(), *clsid);
        }
    }

    ClassObjectEntry table_[5] = {};
    ModuleState record_ = {};
    HMODULE typeLibModule_ = nullptr;
    bool comStarted_ = false;
};

TEST_F(ServerRegistrationTest, RegisterTakesRowsWithoutDescriptionThenTheTypeLibrary)
{
    EXPECT_EQ(S_OK, RegisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first+", "third+"}), calls);
    EXPECT_TRUE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_TRUE(HasCategory(kFirstClass, L"Required Categories", kRequiredCategory));
    EXPECT_FALSE(HasCategory(kFirstClass, L"Required Categories", kImplementedCategory));
    EXPECT_TRUE(TypeLibRegistered());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(kUnregisteredClass)));

    calls.clear();
    EXPECT_EQ(S_OK, UnregisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first-", "third-"}), calls);
    EXPECT_FALSE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_FALSE(HasCategory(kFirstClass, L"Required Categories", kRequiredCategory));
    EXPECT_FALSE(TypeLibRegistered());
}

TEST_F(ServerRegistrationTest, GivenClsidSelectsExactlyThatRowWhateverItsDescription)
{
    EXPECT_EQ(S_OK, RegisterServer(&record_, FALSE, &kSecondClass));
    EXPECT_EQ(S_OK, UnregisterServer(&record_, FALSE, &kSecondClass));
    EXPECT_EQ((std::vector<std::string>{"second+", "second-"}), calls);
    EXPECT_FALSE(TypeLibRegistered());

    const CLSID unknown = {0x5A1C0E11, 0x7B2D, 0x4E3F, {0x8A, 0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x09}};
    calls.clear();
    EXPECT_EQ(S_OK, RegisterServer(&record_, FALSE, &unknown));
    EXPECT_TRUE(calls.empty());
}

TEST_F(ServerRegistrationTest, FirstFailureStopsTheWalkAndLeavesTheTypeLibraryUnregistered)
{
    firstResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, RegisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first+"}), calls);
    EXPECT_FALSE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_FALSE(TypeLibRegistered());

    // A later row's failure leaves the rows registered before it as they are.
    firstResult = S_OK;
    thirdResult = DISP_E_EXCEPTION;
    calls.clear();
    EXPECT_EQ(DISP_E_EXCEPTION, RegisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first+", "third+"}), calls);
    EXPECT_TRUE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_FALSE(TypeLibRegistered());
}

// The type library's own failure code is returned after the rows registered before it have
// been undone, categories included.
TEST_F(ServerRegistrationTest, RegisterReturnsTheTypeLibraryResult)
{
    HMODULE nullServer = LoadLibraryW(WindowsPathFromEnvironment("VTL_NULL_SERVER").c_str());
    ASSERT_NE(nullptr, nullServer);
    record_.typeLibInstance = nullServer;
    const HRESULT typeLibFailure = RegisterModuleTypeLib(&record_, nullptr);
    ASSERT_TRUE(FAILED(typeLibFailure)) << std::hex << typeLibFailure;

    EXPECT_EQ(typeLibFailure, RegisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first+", "third+", "first-", "third-"}), calls);
    EXPECT_FALSE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_FALSE(HasCategory(kFirstClass, L"Required Categories", kRequiredCategory));
    FreeLibrary(nullServer);
}

// The module's own class table and script (REGISTRY 101 of the built DLL) with a type library
// module that carries none: the script runs, the type library fails, the script is undone.
TEST_F(ServerRegistrationTest, FailedTypeLibraryLeavesTheClassesAsTheyWere)
{
    HMODULE dll = LoadLibraryW(BuiltDllPath().c_str());
    HMODULE nullServer = LoadLibraryW(WindowsPathFromEnvironment("VTL_NULL_SERVER").c_str());
    ASSERT_TRUE(dll && nullServer);
    ModuleState module = *theModule;  // the program's heaps, the DLL's script
    module.instance = dll;
    module.typeLibInstance = nullServer;
    module.classTable = vtlMenuClassTable;
    ModuleOverride override(module);
    const HRESULT typeLibFailure = RegisterModuleTypeLib(&module, nullptr);
    ASSERT_TRUE(FAILED(typeLibFailure));

    RegistrySnapshot before = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    ASSERT_FALSE(before.count(ClassKey(CLSID_VTLShlExt))) << "the class is registered already";
    EXPECT_EQ(typeLibFailure, RegisterServer(&module, TRUE, nullptr));  // not the script's own failure
    EXPECT_EQ(std::vector<std::string>{}, RegistryDifferences(before, TakeRegistrySnapshot(HKEY_CLASSES_ROOT)));
    FreeLibrary(nullServer);
    FreeLibrary(dll);
}

TEST_F(ServerRegistrationTest, UnregisterIgnoresEveryFailure)
{
    firstResult = E_ACCESSDENIED;
    thirdResult = E_FAIL;
    HMODULE nullServer = LoadLibraryW(WindowsPathFromEnvironment("VTL_NULL_SERVER").c_str());
    ASSERT_NE(nullptr, nullServer);
    record_.typeLibInstance = nullServer;

    EXPECT_EQ(S_OK, UnregisterServer(&record_, TRUE, nullptr));
    EXPECT_EQ((std::vector<std::string>{"first-", "third-"}), calls);
    FreeLibrary(nullServer);
}

TEST_F(ServerRegistrationTest, ClassOfTheOtherBuildKeepsTheSharedKeysAndLosesOnlyThisBuildsClassKey)
{
    // The first class registered by both builds, each in its own view; the third by this one.
    const REGSAM other = OtherRegistryView();
    ASSERT_TRUE(SetServer(0, kFirstClass, L"C:\\Own Build\\vtlMenu.dll"));
    ASSERT_TRUE(SetServer(other, kFirstClass, L"C:\\Other Build\\vtlMenu.dll"));
    ASSERT_TRUE(SetServer(0, kThirdClass, L"C:\\Own Build\\vtlMenu.dll"));
    // A row without registry entries whose class both views hold (registered by hand).
    ASSERT_TRUE(SetServer(0, kUnregisteredClass, L"C:\\By Hand\\vtlMenu.dll"));
    ASSERT_TRUE(SetServer(other, kUnregisteredClass, L"C:\\By Hand\\vtlMenu.dll"));
    EXPECT_EQ(other != 0, OtherBuildHasClass(kFirstClass));
    EXPECT_FALSE(OtherBuildHasClass(kThirdClass));

    EXPECT_EQ(S_OK, UnregisterServer(&record_, FALSE, nullptr));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(kUnregisteredClass)));
    if (!other) {
        // 32-bit Windows: one view, and every row unregisters as ever.
        EXPECT_EQ((std::vector<std::string>{"first-", "third-"}), calls);
        return;
    }
    EXPECT_EQ((std::vector<std::string>{"third-"}), calls);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(kFirstClass)));
    EXPECT_TRUE(OtherBuildHasClass(kFirstClass));
}

// HKEY_CLASSES_ROOT merges the user's classes in, which any program of the user can write. Here
// it is mapped to such a merged copy, whose "win32" entry names a library a user's program
// planted, while the machine's 32-bit view has the other build's class. Unregistering reads the
// other build's registration from the machine's classes alone, and so registers nothing.
TEST_F(ServerRegistrationTest, OtherBuildIsReadFromTheMachinesClassesNeverFromTheUsers)
{
    const std::wstring planted = WindowsPathFromEnvironment("VTL_X86_TYPELIB_MODULE");
    if (sizeof(void*) != 8 || GetFileAttributesW(planted.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "needs the 64-bit build and the 32-bit build's test type library";
    }
    const std::wstring interfaceKey = L"Interface\\" + GuidText(kTestInterfaceId);
    ASSERT_TRUE(SetServer(KEY_WOW64_32KEY, kFirstClass, L"C:\\Other Build\\vtlMenu.dll"));
    const wchar_t kMergedClasses[] = L"Software\\vtlMenuTests\\MergedClasses";
    HKEY merged = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kMergedClasses, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &merged, nullptr));
    const std::wstring win32 = L"TypeLib\\" + GuidText(kTestLibraryId) + L"\\1.0\\0\\win32";
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueW(merged, win32.c_str(), nullptr, REG_SZ, planted.c_str(),
                                             static_cast<DWORD>((planted.size() + 1) * sizeof(wchar_t))));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, merged));
    EXPECT_EQ(S_OK, UnregisterServer(&record_, TRUE, nullptr));
    const bool copyHasInterface = RegistryKeyExists(HKEY_CLASSES_ROOT, interfaceKey);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(merged);
    RegDeleteTreeW(HKEY_CURRENT_USER, kMergedClasses);  // its own key: other programs share the parent

    EXPECT_EQ((std::vector<std::string>{"third-"}), calls);  // the other build keeps the shared keys
    EXPECT_FALSE(copyHasInterface);
    for (const wchar_t* machine : {L"Software\\Classes\\", L"Software\\Classes\\Wow6432Node\\"}) {
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, machine + interfaceKey)) << "planted, reached the machine";
    }
}

TEST_F(ServerRegistrationTest, MissingModuleRecordIsAnInvalidArgument)
{
    EXPECT_EQ(E_INVALIDARG, RegisterServer(nullptr, TRUE, nullptr));
    EXPECT_EQ(E_INVALIDARG, UnregisterServer(nullptr, TRUE, nullptr));
    EXPECT_TRUE(calls.empty());
}

TEST_F(ServerRegistrationTest, NullCategoryListCreatesNothing)
{
    EXPECT_EQ(S_OK, RegisterClassCategories(kSecondClass, nullptr, TRUE));
    EXPECT_EQ(S_OK, RegisterClassCategories(kSecondClass, nullptr, FALSE));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, ClassKey(kSecondClass)));
}

TEST_F(ServerRegistrationTest, CategoriesManagerThatCannotBeCreatedCountsAsSuccess)
{
    // On a thread that never started COM the manager cannot be created.
    HRESULT registered = E_UNEXPECTED;
    HRESULT unregistered = E_UNEXPECTED;
    std::thread worker([&] {
        registered = RegisterClassCategories(kFirstClass, kCategories, TRUE);
        unregistered = RegisterClassCategories(kFirstClass, kCategories, FALSE);
    });
    worker.join();
    EXPECT_EQ(S_OK, registered);
    EXPECT_EQ(S_OK, unregistered);
    EXPECT_FALSE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
}

TEST_F(ServerRegistrationTest, UnregisteringCategoriesKeepsOthersOfTheClass)
{
    const CATID other = {0x6B2D1F22, 0x8C3E, 0x4F40, {0x9B, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03}};
    const CategoryEntry another[] = {{1, &other}, {0, nullptr}};
    ASSERT_EQ(S_OK, RegisterClassCategories(kFirstClass, another, TRUE));
    ASSERT_EQ(S_OK, RegisterClassCategories(kFirstClass, kCategories, TRUE));

    EXPECT_EQ(S_OK, RegisterClassCategories(kFirstClass, kCategories, FALSE));
    EXPECT_FALSE(HasCategory(kFirstClass, L"Implemented Categories", kImplementedCategory));
    EXPECT_FALSE(HasCategory(kFirstClass, L"Required Categories", kRequiredCategory));
    EXPECT_TRUE(HasCategory(kFirstClass, L"Implemented Categories", other));
}

}  // namespace
