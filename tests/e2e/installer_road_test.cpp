// The installer road: vtlreg harvests the DLL's own registration into a registry file, a WiX
// fragment (built into a package by the msi_package fixture) and a per-user registration.
// Each must write exactly what the platform's regsvr32 writes for the same path, vtlshell must
// right-click and publish from the result, and removal must leave the registry and the program
// folder as they were.

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "built_files.h"
#include "process_run.h"
#include "publisher.h"
#include "registry_probe.h"
#include "registry_snapshot.h"
#include "temp_folder.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

ProcessResult Vtlreg(const std::wstring& arguments)
{
    return RunProcess(Quoted(ProgramFolder() + L"vtlreg.exe") + L" " + arguments, 300000);
}

ProcessResult Regsvr32(const std::wstring& options, const std::wstring& dll)
{
    return RunProcess(Quoted(SystemProgram(L"regsvr32.exe")) + L" " + options + L" " + Quoted(dll));
}

std::string Listed(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += "  " + line + "\n";
    }
    return text;
}

// HKEY_CLASSES_ROOT without the platform's own record of installed packages ("Installer"),
// which msiexec keeps and which is not the product's registration.
RegistrySnapshot Classes()
{
    RegistrySnapshot classes = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    for (auto entry = classes.begin(); entry != classes.end();) {
        bool record = lstrcmpiW(entry->first.c_str(), L"Installer") == 0 || StartsWith(entry->first, L"Installer\\");
        entry = record ? classes.erase(entry) : std::next(entry);
    }
    return classes;
}

RegistrySnapshot UserClasses()
{
    return TakeRegistrySnapshot(HKEY_CURRENT_USER, L"Software\\Classes");
}

// HKEY_CLASSES_ROOT as regsvr32 leaves it for the DLL at `dll`; the registration is removed
// again, and that removal must restore `before`.
RegistrySnapshot RegisteredByRegsvr32(const std::wstring& dll, const RegistrySnapshot& before)
{
    EXPECT_EQ(0u, Regsvr32(L"/s", dll).exitCode);
    RegistrySnapshot registered = Classes();
    EXPECT_EQ(0u, Regsvr32(L"/u /s", dll).exitCode);
    EXPECT_TRUE(RegistryDifferences(before, Classes()).empty());
    return registered;
}

// Right-clicks two files with vtlshell (this build's, or the one named), picks the entry and
// checks what the application got.
void ExpectRightClickPublishes(const std::wstring& shell = ProgramFolder() + L"vtlshell.exe")
{
    TempFolder folder(L"installer road right-click");
    ASSERT_FALSE(folder.MakeFile(L"Quay.JPG").empty());
    ASSERT_FALSE(folder.MakeFile(L"notes.txt").empty());
    PublisherInstallation publisher(folder.Path() + L"Publisher\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    ProcessResult run = RunProcess(Quoted(shell) + L" --invoke \"&Publish with Vantorel\" " +
                                   Quoted(folder.Path() + L"Quay.JPG") + L" " + Quoted(folder.Path() + L"notes.txt"));
    EXPECT_EQ(0u, run.exitCode) << run.output;
    EXPECT_TRUE(Contains(run.output, "0\tid 1\t\"&Publish with Vantorel\"\tbitmap\r\n")) << run.output;
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    std::wstring lowered = folder.Path();
    CharLowerBuffW(&lowered[0], static_cast<DWORD>(lowered.size()));
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + lowered + L"::notes.txt::quay.jpg\"", records[0].command);
}

// 64-bit Windows shares HKEY_CLASSES_ROOT between its registry views, all but CLSID, Interface
// and a few more; Wine 8 shares only TypeLib, AppID and Protocols. While a package road runs,
// the other keys that the packages' 32-bit component writes are linked across, as on Windows.
struct ClassKeysSharedAsOnWindows {
    std::vector<std::wstring> links;
    ClassKeysSharedAsOnWindows()
    {
        for (std::wstring name : {L"*", L"VtlMenu.VTLShlExt", L"VtlMenu.VTLShlExt.1"}) {
            const std::wstring link = L"Software\\Classes\\Wow6432Node\\" + name;
            const std::wstring target = L"\\Registry\\Machine\\Software\\Classes\\" + name;
            HKEY key = nullptr;
            DWORD made = 0;
            if (sizeof(void*) == 8 && RegCreateKeyExW(HKEY_LOCAL_MACHINE, link.c_str(), 0, nullptr,
                                                      REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_WRITE,
                                                      nullptr, &key, &made) == ERROR_SUCCESS) {
                if (made == REG_CREATED_NEW_KEY) {  // a key the prefix has already is left as it is
                    RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                                   static_cast<DWORD>(target.size() * sizeof(wchar_t)));
                    links.push_back(link);
                }
                RegCloseKey(key);
            }
        }
    }
    ~ClassKeysSharedAsOnWindows()
    {
        // Deleted as a link, opened as one: RegDeleteKey would delete the link's target.
        auto deleteKey = reinterpret_cast<LONG(WINAPI*)(HANDLE)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
        for (const std::wstring& link : links) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, link.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) == ERROR_SUCCESS) {
                deleteKey(key);
                RegCloseKey(key);
            }
        }
    }
};

int ScratchKeysLeft()
{
    int left = 0;
    for (const auto& entry : TakeRegistrySnapshot(HKEY_CURRENT_USER, L"Software")) {
        left += StartsWith(entry.first, L"vtlreg scratch") ? 1 : 0;
    }
    return left;
}

// The registry file, imported with the platform's reg.exe: harvested where the DLL was built,
// and (the second case) for a copy in a folder with blanks and an apostrophe, named with
// --module-path as a package author names the installed path.
class RegistryFileRoad : public testing::TestWithParam<bool> {};

TEST_P(RegistryFileRoad, ImportsExactlyWhatRegsvr32WritesAndTheShellPublishesFromIt)
{
    TempFolder folder(L"registry file road");
    std::wstring built = BuiltDllPath();
    std::wstring installed = built;
    std::wstring options;
    std::unique_ptr<TempFolder> copyFolder;
    if (GetParam()) {
        copyFolder = std::make_unique<TempFolder>(L"Bob's Photo Tools");
        installed = copyFolder->CopyIn(built, L"vtlMenu.dll");
        ASSERT_FALSE(installed.empty());
        options = L" --module-path " + Quoted(installed);
    }
    RegistrySnapshot before = Classes();
    RegistrySnapshot expected = RegisteredByRegsvr32(installed, before);

    std::wstring file = folder.Path() + L"vtlMenu.reg";
    ProcessResult harvest = Vtlreg(L"harvest " + Quoted(built) + L" --reg " + Quoted(file) + options);
    ASSERT_EQ(0u, harvest.exitCode) << harvest.output;
    EXPECT_TRUE(RegistryDifferences(before, Classes()).empty()) << "a harvest writes no class";
    EXPECT_EQ(0, ScratchKeysLeft());

    ProcessResult imported = RunProcess(Quoted(SystemProgram(L"reg.exe")) + L" import " + Quoted(file));
    ASSERT_EQ(0u, imported.exitCode) << imported.output;
    RegistrySnapshot after = Classes();
    std::vector<std::string> differences = RegistryDifferences(expected, after);
    EXPECT_TRUE(differences.empty()) << "the import differs from regsvr32:\n" << Listed(differences);
    size_t keys = AddedKeys(before, after).size();
    EXPECT_GE(keys, 16u);
    std::printf("registry file road: %u keys added by the import, all equal to regsvr32's\n",
                static_cast<unsigned>(keys));

    ExpectRightClickPublishes();
    EXPECT_EQ(0u, Regsvr32(L"/u /s", installed).exitCode);
    EXPECT_TRUE(RegistryDifferences(before, Classes()).empty());
}

INSTANTIATE_TEST_SUITE_P(DllPlacement, RegistryFileRoad, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "NamedForACopyInFolderWithBlanksAndApostrophe" : "InBuildTree";
                         });

// The package built from the harvested fragment, installed and removed by msiexec.
TEST(PackageRoad, MsiexecInstallsWhatRegsvr32WritesAndRemovesItAgain)
{
    std::wstring package = WindowsPathFromEnvironment("VTL_MSI");
    ASSERT_FALSE(package.empty()) << "VTL_MSI is not set";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(package.c_str())) << "the msi_package fixture made none";
    wchar_t programFiles[MAX_PATH];
    ASSERT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles));
    const std::wstring folder = std::wstring(programFiles) + L"\\vtlMenu";
    const std::wstring installed = folder + L"\\vtlMenu.dll";
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));

    // A system keeps other keys beside ours: other handlers, and the 32-bit view's interfaces
    // (which a 64-bit prefix without the 32-bit loader lacks). The Installer removes a parent
    // key that its uninstall leaves empty, as it is meant to, so a fresh prefix gets neighbours.
    const std::vector<std::wstring> neighbours = {
        L"*\\shellex\\ContextMenuHandlers\\VtlTestNeighbour",
#ifdef _WIN64
        L"Wow6432Node\\Interface\\VtlTestNeighbour",
#endif
    };
    for (const std::wstring& neighbour : neighbours) {
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueW(HKEY_CLASSES_ROOT, neighbour.c_str(), nullptr, REG_SZ, L"a neighbour", 24));
    }
    ClassKeysSharedAsOnWindows shared;
    RegistrySnapshot before = Classes();

    // What regsvr32 writes for a copy at the path the package installs to.
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(BuiltDllPath().c_str(), installed.c_str(), FALSE));
    RegistrySnapshot expected = RegisteredByRegsvr32(installed, before);
    ASSERT_TRUE(DeleteFileW(installed.c_str()));
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));

    std::wstring properties;
#ifdef __aarch64__
    // Wine's ARM64 Installer leaves ProgramFiles64Folder unset, so the package would land at the
    // root of drive C there; Windows on ARM sets it to the program files folder, named here.
    properties = L" INSTALLFOLDER=" + Quoted(folder);
#endif
    ProcessResult install = RunProcess(L"msiexec /i " + Quoted(package) + properties + L" /qn", 300000);
    ASSERT_EQ(0u, install.exitCode) << install.output;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(installed.c_str()));
    RegistrySnapshot after = Classes();
    std::vector<std::string> differences = RegistryDifferences(expected, after);
    EXPECT_TRUE(differences.empty()) << "the package differs from regsvr32:\n" << Listed(differences);
    std::printf("package road: msiexec /i exit %lu, %u keys added, all equal to regsvr32's\n", install.exitCode,
                static_cast<unsigned>(AddedKeys(before, after).size()));

    ExpectRightClickPublishes();

    ProcessResult remove = RunProcess(L"msiexec /x " + Quoted(package) + properties + L" /qn", 300000);
    EXPECT_EQ(0u, remove.exitCode) << remove.output;
    differences = RegistryDifferences(before, Classes());
    EXPECT_TRUE(differences.empty()) << "HKEY_CLASSES_ROOT differs after msiexec /x:\n" << Listed(differences);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str())) << "the program folder stays";
    std::printf("package road: msiexec /x exit %lu, %u differences left\n", remove.exitCode,
                static_cast<unsigned>(differences.size()));
    for (const auto& entry : TakeRegistrySnapshot(HKEY_CLASSES_ROOT, L"Installer")) {
        for (const auto& value : entry.second) {
            EXPECT_EQ(std::wstring::npos, value.first.find(L"vtlMenu")) << "the platform still records the product";
        }
    }
    for (const std::wstring& neighbour : neighbours) {
        RegDeleteKeyW(HKEY_CLASSES_ROOT, neighbour.c_str());
    }
}

// Both packages side by side (the 64-bit one, 0, or the 32-bit one removed first): removing one
// leaves the other's registration as it alone has it, all but the type library's help folder
// key (each package names its own folder, so no shared component can carry it), and its
// right-click working; removing both leaves the classes as they were.
class PackagesSideBySide : public testing::TestWithParam<int> {};

TEST_P(PackagesSideBySide, RemovingEitherLeavesTheOtherWorkingAndBothLeaveNoTrace)
{
    const std::wstring packages[2] = {WindowsPathFromEnvironment("VTL_MSI"), WindowsPathFromEnvironment("VTL_X86_MSI")};
    if (GetFileAttributesW(packages[1].c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no 32-bit package beside the 64-bit one: the x64 tree makes it where 32-bit programs run "
                        "(see msi_package_x86)";
    }
    const std::wstring x86Dll = WindowsPathFromEnvironment("VTL_X86_DLL");
    const std::wstring shells[2] = {ProgramFolder() + L"vtlshell.exe",
                                    x86Dll.substr(0, x86Dll.find_last_of(L'\\') + 1) + L"vtlshell.exe"};
    auto msiexec = [&](const wchar_t* action, int package) {
        return RunProcess(std::wstring(L"msiexec ") + action + Quoted(packages[package]) + L" /qn", 300000).exitCode;
    };
    // A system keeps other handlers beside ours, as the package road has it.
    const wchar_t* neighbour = L"*\\shellex\\ContextMenuHandlers\\VtlTestNeighbour";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, neighbour, nullptr, REG_SZ, L"a neighbour", 24));
    ClassKeysSharedAsOnWindows shared;
    const int removed = GetParam();
    RegistrySnapshot before = Classes();
    ASSERT_EQ(0u, msiexec(L"/i ", 1 - removed));
    RegistrySnapshot keptAlone = Classes();
    ASSERT_EQ(0u, msiexec(L"/i ", removed));
    ExpectRightClickPublishes(shells[removed]);
    ASSERT_EQ(0u, msiexec(L"/x ", removed));
    for (const std::string& difference : RegistryDifferences(keptAlone, Classes())) {
        EXPECT_TRUE(Contains(difference, "\\1.0\\HELPDIR")) << "after removing one package: " << difference;
    }
    ExpectRightClickPublishes(shells[1 - removed]);
    ASSERT_EQ(0u, msiexec(L"/x ", 1 - removed));
    EXPECT_EQ("", Listed(RegistryDifferences(before, Classes()))) << "after removing both";
    RegDeleteKeyW(HKEY_CLASSES_ROOT, neighbour);
}

INSTANTIATE_TEST_SUITE_P(RemovedFirst, PackagesSideBySide, testing::Values(0, 1));

// The per-user registration: only HKEY_CURRENT_USER\Software\Classes is written, with exactly
// the keys regsvr32 writes under HKEY_CLASSES_ROOT. Wine's COM activation reads only the
// machine's classes, so this road is checked by the registry's content alone.
class PerUserRoad : public testing::Test {
protected:
    void SetUp() override
    {
        // Every Windows system has the key; a fresh prefix makes it on first use.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ,
                                                 nullptr, &key, nullptr));
        RegCloseKey(key);
    }
};

TEST_F(PerUserRoad, WritesOnlyTheUsersClassesExactlyAsRegsvr32WritesTheMachinesAndRemovesThem)
{
    const std::wstring dll = BuiltDllPath();
    RegistrySnapshot machine = Classes();
    RegistrySnapshot user = UserClasses();
    RegistrySnapshot byRegsvr32 = RegistryWrites(machine, RegisteredByRegsvr32(dll, machine));

    ProcessResult install = Vtlreg(L"install --user " + Quoted(dll));
    ASSERT_EQ(0u, install.exitCode) << install.output;
    EXPECT_TRUE(Contains(install.output, "installed for this user")) << install.output;
    EXPECT_TRUE(Contains(install.output, "no OaEnablePerUserTLibRegistration")) << install.output;
    EXPECT_TRUE(RegistryDifferences(machine, Classes()).empty()) << "the machine's classes are untouched";
    EXPECT_EQ(0, ScratchKeysLeft());
    RegistrySnapshot byVtlreg = RegistryWrites(user, UserClasses());

    for (const auto& [key, values] : byRegsvr32) {
        if (StartsWith(key, L"Wow6432Node\\TypeLib\\")) {
            // Wine shows the machine's one TypeLib key in both registry views: the same key.
            auto shared = byRegsvr32.find(key.substr(wcslen(L"Wow6432Node\\")));
            EXPECT_TRUE(shared != byRegsvr32.end() && shared->second == values) << Narrow(key);
            continue;
        }
        auto written = byVtlreg.find(key);
        EXPECT_TRUE(written != byVtlreg.end() && written->second == values) << "differs: " << Narrow(key);
    }
    for (const auto& [key, values] : byVtlreg) {
        if (!byRegsvr32.count(key)) {
            // Only the parents that the machine's classes hold already, with nothing in them.
            EXPECT_TRUE(machine.count(key) && values.empty()) << "not written by regsvr32: " << Narrow(key);
        }
    }
    std::printf("per-user road: %u keys written by regsvr32, all under HKEY_CURRENT_USER\\Software\\Classes\n",
                static_cast<unsigned>(byRegsvr32.size()));

    ProcessResult uninstall = Vtlreg(L"uninstall --user " + Quoted(dll));
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
    std::vector<std::string> differences = RegistryDifferences(user, UserClasses());
    EXPECT_TRUE(differences.empty()) << "the user's classes differ after uninstall:\n" << Listed(differences);
    EXPECT_TRUE(RegistryDifferences(machine, Classes()).empty());
}

TEST_F(PerUserRoad, LeavesTheMachinesRegistrationOfTheSameDllAlone)
{
    const std::wstring dll = BuiltDllPath();
    RegistrySnapshot user = UserClasses();
    ASSERT_EQ(0u, Regsvr32(L"/s", dll).exitCode);
    RegistrySnapshot machine = Classes();

    EXPECT_EQ(0u, Vtlreg(L"install --user " + Quoted(dll)).exitCode);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\VtlMenu.VTLShlExt\\CurVer"));
    ProcessResult uninstall = Vtlreg(L"uninstall --user " + Quoted(dll));
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
    EXPECT_TRUE(RegistryDifferences(user, UserClasses()).empty()) << Listed(RegistryDifferences(user, UserClasses()));
    std::vector<std::string> differences = RegistryDifferences(machine, Classes());
    EXPECT_TRUE(differences.empty()) << "the machine's registration changed:\n" << Listed(differences);
    EXPECT_EQ(0u, Regsvr32(L"/u /s", dll).exitCode);
}

// The machine holds the other build's registration (its class in the 32-bit view, its "win32"
// library), which unregistering keeps: the user's uninstall still takes back all it wrote.
TEST_F(PerUserRoad, UninstallsWholeBesideTheMachinesOtherBuild)
{
    const std::wstring x86 = WindowsPathFromEnvironment("VTL_X86_DLL");
    if (sizeof(void*) != 8 || GetFileAttributesW(x86.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "needs the 64-bit build and the 32-bit DLL beside it";
    }
    const std::wstring otherClass = L"Wow6432Node\\CLSID\\{4C2E8A15-93D7-4B61-A0F4-7E5B12C9D836}";
    const std::wstring otherLibrary = L"TypeLib\\{9E61B3D2-0A47-4C8F-B5E9-2D83F4A6C170}";
    for (const std::wstring& key : {otherClass + L"\\InprocServer32", otherLibrary + L"\\1.0\\0\\win32"}) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, x86.c_str(),
                                                 static_cast<DWORD>((x86.size() + 1) * sizeof(wchar_t))));
    }
    RegistrySnapshot user = UserClasses();
    RegistrySnapshot machine = Classes();

    EXPECT_EQ(0u, Vtlreg(L"install --user " + Quoted(BuiltDllPath())).exitCode);
    ProcessResult uninstall = Vtlreg(L"uninstall --user " + Quoted(BuiltDllPath()));
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
    EXPECT_TRUE(RegistryDifferences(user, UserClasses()).empty()) << Listed(RegistryDifferences(user, UserClasses()));
    EXPECT_TRUE(RegistryDifferences(machine, Classes()).empty()) << Listed(RegistryDifferences(machine, Classes()));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, otherClass.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, otherLibrary.c_str());
}

// Other programs write the machine's classes while a harvest runs: what they write stays, here
// a key that the registration writes there itself and one that a child process of it writes.
TEST(VtlregHarvest, LeavesWhatOthersWriteMeanwhile)
{
    TempFolder folder(L"vtlreg neighbours");
    ProcessResult harvest = Vtlreg(L"harvest " + Quoted(WindowsPathFromEnvironment("VTL_NEIGHBOUR_SERVER")) +
                                   L" --reg " + Quoted(folder.Path() + L"neighbour.reg"));
    EXPECT_EQ(0u, harvest.exitCode) << harvest.output;
    for (const wchar_t* key : {L"Software\\Classes\\VtlNeighbour.ByRegistration",
                               L"Software\\Classes\\Interface\\{5D7C3B1A-2E4F-4A60-9B8C-1F0E2D3C4B5A}"}) {
        EXPECT_EQ(L"another program's", RegistryString(HKEY_LOCAL_MACHINE, key)) << Narrow(key);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    }
}

// A DLL that does not load, is no COM server or fails to register: a clear message, exit
// code 1, no output file (an older one stays), and nothing written anywhere.
TEST(VtlregFailures, LeaveNoFileNoKeyAndSayWhy)
{
    TempFolder folder(L"vtlreg failures");
    const std::wstring notADll = folder.MakeFile(L"not a dll.dll");
    struct Case {
        std::wstring dll;
        const char* message;
    };
    const Case cases[] = {
        {folder.Path() + L"missing.dll", "vtlreg: cannot load "},
        {notADll, "vtlreg: cannot load "},
        {WindowsPathFromEnvironment("VTL_TYPELIB_MODULE"), "has no DllRegisterServer export"},
        {WindowsPathFromEnvironment("VTL_FAILING_SERVER"), "failed with 0x80040201"},
    };
    const std::wstring older = folder.Path() + L"older.reg";
    HANDLE file = CreateFileW(older.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, "old", 3, &written, nullptr);
    CloseHandle(file);

    RegistrySnapshot machine = Classes();
    RegistrySnapshot user = UserClasses();
    for (const Case& item : cases) {
        const std::wstring arguments[] = {
            L"harvest " + Quoted(item.dll) + L" --reg " + Quoted(older),
            L"harvest " + Quoted(item.dll) + L" --wix " + Quoted(folder.Path() + L"new.wxs"),
            L"install --user " + Quoted(item.dll),
            L"uninstall --user " + Quoted(item.dll),
        };
        for (const std::wstring& argument : arguments) {
            ProcessResult run = Vtlreg(argument);
            EXPECT_EQ(1u, run.exitCode) << Narrow(argument) << "\n" << run.output;
            EXPECT_TRUE(Contains(run.output, item.message)) << Narrow(argument) << "\n" << run.output;
        }
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder.Path() + L"new.wxs").c_str()));
        WIN32_FILE_ATTRIBUTE_DATA attributes = {};
        EXPECT_TRUE(GetFileAttributesExW(older.c_str(), GetFileExInfoStandard, &attributes));
        EXPECT_EQ(3u, attributes.nFileSizeLow) << "the older file stays as it was";
    }
    EXPECT_TRUE(RegistryDifferences(machine, Classes()).empty()) << Listed(RegistryDifferences(machine, Classes()));
    EXPECT_TRUE(RegistryDifferences(user, UserClasses()).empty());
    EXPECT_EQ(0, ScratchKeysLeft());
    int files = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder.Path() + L"*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        files += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(2, files) << "no temporary file is left beside the two the test made";

    for (const wchar_t* wrong : {L"", L"harvest x.dll", L"harvest x.dll --reg a --wix b", L"install x.dll",
                                 L"harvest x.dll --wix a --module-path b", L"publish x.dll"}) {
        ProcessResult run = Vtlreg(wrong);
        EXPECT_EQ(2u, run.exitCode) << Narrow(wrong);
        EXPECT_TRUE(Contains(run.output, "usage: vtlreg")) << run.output;
    }
}

}  // namespace
