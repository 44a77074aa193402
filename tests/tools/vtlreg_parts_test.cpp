// vtlreg's parts against the platform: the registry file it writes goes through the platform's
// own "reg import", the guard and the redirect work on real keys of the test's own.

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "class_root_redirect.h"
#include "module_path_text.h"
#include "output_file.h"
#include "process_run.h"
#include "reg_file.h"
#include "registry_guard.h"
#include "registry_probe.h"
#include "registry_snapshot.h"
#include "scratch_key.h"
#include "temp_folder.h"
#include "wix_fragment.h"

namespace {

const wchar_t kTestKey[] = L"Software\\vtlMenuTests\\vtlreg";

RegistryValue Text(DWORD type, const std::wstring& text)
{
    RegistryValue value{type, {}};
    for (wchar_t unit : text) {
        value.data.push_back(static_cast<BYTE>(unit & 0xFF));
        value.data.push_back(static_cast<BYTE>(unit >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

RegistryValue Bytes(DWORD type, std::vector<BYTE> data)
{
    return RegistryValue{type, std::move(data)};
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

int FilesIn(const std::wstring& folder)
{
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            count += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return count;
}

class TestKey : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
    }
    static void Write(const std::wstring& key, const wchar_t* name, const std::wstring& text)
    {
        std::wstring path = std::wstring(kTestKey) + (key.empty() ? L"" : L"\\" + key);
        RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static void SetAccessRules(const wchar_t* key, const wchar_t* rules)
    {
        UniqueKey open;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        std::wstring path = std::wstring(kTestKey) + L"\\" + key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, open.Put()));
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(rules, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(open.Get(), DACL_SECURITY_INFORMATION, descriptor));
        LocalFree(descriptor);
    }
};

// Every value type, names and data that need escaping, a long value that wraps, the module's
// path and folder: written out, imported by the platform's reg.exe, read back the same.
TEST_F(TestKey, RegistryFileImportsBackToTheSameKeysAndValues)
{
    const std::wstring module = L"C:\\Build Tree\\bin\\vtlMenu.dll";
    RegistrySnapshot keys;
    keys[L"Plain"][L""] = Text(REG_SZ, L"a \"quoted\" back\\slash");
    keys[L"Plain"][L"Name \"with\" \\ and ="] = Text(REG_SZ, L"");
    keys[L"Plain"][L"Path"] = Text(REG_SZ, L"C:\\build tree\\BIN\\vtlMenu.dll");
    keys[L"Plain"][L"Folder"] = Text(REG_SZ, L"C:\\Build Tree\\bin\\");
    keys[L"Plain"][L"Lines"] = Text(REG_SZ, L"one\r\ntwo");
    keys[L"Plain"][L"Unicode"] = Text(REG_SZ, L"\x4E2D\x6587 \x00E9");
    keys[L"Types"][L"Number"] = Bytes(REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    keys[L"Types"][L"Expand"] = Text(REG_EXPAND_SZ, L"%SystemRoot%\\" + std::wstring(60, L'x'));
    keys[L"Types"][L"Multi"] = Bytes(REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    keys[L"Types"][L"Binary"] = Bytes(REG_BINARY, std::vector<BYTE>(100, 0xA5));
    keys[L"Types"][L"Empty binary"] = Bytes(REG_BINARY, {});
    keys[L"Types"][L"Big"] = Bytes(REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    keys[L"Empty\\Nested key"];
    keys[L"Brackets [1]"][L""] = Text(REG_SZ, L"[x]");
    // Distinct to the registry, one name to the language's rules.
    keys[L"Strasse"][L""] = Text(REG_SZ, L"ss");
    keys[L"Stra\x00DFe"][L""] = Text(REG_SZ, L"sharp s");
    keys[L"Soft\x00ADhyphen"];

    ModulePathReplacement replacement{module, L"D:\\Apps\\vtlMenu.dll", L"D:\\Apps\\"};
    std::wstring text = RegFileText(keys, std::wstring(L"HKEY_CURRENT_USER\\") + kTestKey, replacement);
    EXPECT_EQ(0u, text.find(L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\"));
    EXPECT_NE(std::wstring::npos, text.find(L"\"Path\"=\"D:\\\\Apps\\\\vtlMenu.dll\"\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"\"Number\"=dword:12345678\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"\"Big\"=hex(b):01,02,03,04,05,06,07,08\r\n"));
    // A string without its terminator keeps its exact bytes in the file (the platform's importer
    // terminates it, so it is not part of the round trip).
    RegistrySnapshot unterminated;
    unterminated[L"K"][L"u"] = Bytes(REG_SZ, {'x', 0});
    EXPECT_NE(std::wstring::npos, RegFileText(unterminated, L"HKEY_CLASSES_ROOT").find(L"\"u\"=hex(1):78,00\r\n"));
    for (size_t start = 0, end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
        EXPECT_LE(end - start, 80u) << "a line longer than regedit writes";
    }

    TempFolder folder(L"vtlreg registry file");
    std::wstring file = folder.Path() + L"keys.reg";
    std::wstring error;
    ASSERT_TRUE(WriteWholeFile(file, RegFileBytes(text), error)) << std::string(error.begin(), error.end());
    EXPECT_EQ(0, ReadFileBytes(file).compare(0, 4, "\xFF\xFEW\0", 4)) << "UTF-16LE with a byte order mark";
    ProcessResult imported = RunProcess(Quoted(SystemProgram(L"reg.exe")) + L" import " + Quoted(file));
    ASSERT_EQ(0u, imported.exitCode) << imported.output;

    RegistrySnapshot expected = keys;
    expected[L""];
    expected[L"Empty"];
    expected[L"Plain"][L"Path"] = Text(REG_SZ, L"D:\\Apps\\vtlMenu.dll");
    expected[L"Plain"][L"Folder"] = Text(REG_SZ, L"D:\\Apps\\");
    RegistrySnapshot read = TakeRegistrySnapshot(HKEY_CURRENT_USER, kTestKey);
    std::vector<std::string> differences = RegistryDifferences(expected, read);
    EXPECT_TRUE(differences.empty()) << testing::PrintToString(differences);
    EXPECT_EQ(9u, read.size());
    EXPECT_EQ(Text(REG_SZ, L"sharp s"), read[L"Stra\x00DFe"][L""]);
    EXPECT_EQ(1u, read.count(L"Soft\x00ADhyphen")) << "the name keeps its soft hyphen";
}

TEST(ModulePathText, FindsThePathAndTheFolderWithoutRegardToCase)
{
    std::vector<TextPiece> pieces =
        SplitAtModulePath(L"\"c:\\APPS\\vtlmenu.DLL\",1;C:\\Apps\\x;C:\\Apps", L"C:\\Apps\\vtlMenu.dll");
    ASSERT_EQ(5u, pieces.size());
    EXPECT_EQ(TextPart::kLiteral, pieces[0].part);
    EXPECT_EQ(TextPart::kModulePath, pieces[1].part);
    EXPECT_EQ(L"c:\\APPS\\vtlmenu.DLL", pieces[1].text);
    EXPECT_EQ(L"\",1;", pieces[2].text);
    EXPECT_EQ(TextPart::kModuleFolder, pieces[3].part);
    EXPECT_EQ(L"x;C:\\Apps", pieces[4].text) << "a folder without its separator is not the folder";
    EXPECT_EQ(L"C:\\a\\", FolderOf(L"C:\\a\\b.dll"));
    EXPECT_EQ(L"", FolderOf(L"b.dll"));
    EXPECT_EQ(1u, SplitAtModulePath(L"vtlMenu.dll", L"vtlMenu.dll").size());
}

TEST(WixFragment, HoldsTheFileAndOneRowPerValueWithInstallerReferences)
{
    RegistrySnapshot keys;
    keys[L"CLSID"];
    keys[L"CLSID\\{X}"][L""] = Text(REG_SZ, L"A & B <C>");
    keys[L"CLSID\\{X}\\InprocServer32"][L""] = Text(REG_SZ, L"C:\\Tree\\vtlMenu.dll");
    keys[L"CLSID\\{X}\\InprocServer32"][L"ThreadingModel"] = Text(REG_SZ, L"Apartment");
    keys[L"CLSID\\{X}\\Programmable"];
    keys[L"Lib\\HELPDIR"][L""] = Text(REG_SZ, L"c:\\tree\\");
    keys[L"Lib\\FLAGS"][L"n"] = Bytes(REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF});
    keys[L"Odd [key]"][L"$cost"] = Text(REG_SZ, L"[~]#1");

    std::wstring text;
    std::wstring error;
    ASSERT_TRUE(WixFragmentText(keys, WixComponent{L"C:\\Tree\\vtlMenu.dll", true}, text, error));
    const wchar_t* expected[] = {
        L"<Component Id=\"vtlMenu.dll\" Guid=\"*\" Win64=\"yes\">",
        L"<File Id=\"vtlMenu.dll\" Name=\"vtlMenu.dll\" Source=\"$(var.ModuleSource)\" KeyPath=\"yes\"/>",
        L"<RegistryValue Root=\"HKCR\" Key=\"CLSID\\{X}\" Type=\"string\" Value=\"A &amp; B &lt;C&gt;\"/>",
        L"<RegistryValue Root=\"HKCR\" Key=\"CLSID\\{X}\\InprocServer32\" Type=\"string\" Value=\"[#vtlMenu.dll]\"/>",
        L"Key=\"CLSID\\{X}\\InprocServer32\" Name=\"ThreadingModel\" Type=\"string\" Value=\"Apartment\"/>",
        L"<RegistryValue Root=\"HKCR\" Key=\"CLSID\\{X}\\Programmable\" Name=\"*\" Type=\"string\" Value=\"\"/>",
        L"Key=\"Lib\\HELPDIR\" Type=\"string\" Value=\"[INSTALLFOLDER]\"/>",
        L"Key=\"Lib\\FLAGS\" Name=\"n\" Type=\"integer\" Value=\"-1\" KeyPath=\"yes\"/>",
        L"Key=\"Odd [\\[]key[\\]]\" Name=\"$$cost\" Type=\"string\" Value=\"[\\[]~[\\]]#1\"/>",
    };
    for (const wchar_t* line : expected) {
        EXPECT_NE(std::wstring::npos, text.find(line)) << std::string(line, line + wcslen(line));
    }
    // Parents are made on the way to their children: no row of their own.
    EXPECT_EQ(std::wstring::npos, text.find(L"Key=\"CLSID\" "));
    int rows = 0;
    for (size_t at = text.find(L"<RegistryValue"); at != std::wstring::npos; at = text.find(L"<RegistryValue", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(7, rows);
    EXPECT_NE(std::wstring::npos, WixFragmentBytes(text).find("Value=\"A &amp; B"));
    EXPECT_EQ(L"_2_my_dll.dll", WixFileId(L"2 my-dll.dll"));
}

// The rows both builds write alike make one 32-bit component, the same in both fragments: keys
// both registry views share, and the 32-bit view's interface keys (under Wow6432Node in a 64-bit
// registration). Class keys and the 64-bit view's interface keys stay with each build's file.
TEST(WixFragment, GivesBothBuildsOneSharedComponentForTheRowsTheyWriteAlike)
{
    RegistrySnapshot keys[2];  // as the 64-bit and the 32-bit build register
    keys[0][L"Wow6432Node\\Interface\\{I}"][L""] = keys[1][L"Interface\\{I}"][L""] = Text(REG_SZ, L"IThing");
    keys[0][L"*\\shellex\\Thing"][L""] = keys[1][L"*\\shellex\\Thing"][L""] = Text(REG_SZ, L"{X}");
    keys[0][L"CLSID\\{X}"][L""] = keys[1][L"CLSID\\{X}"][L""] = keys[0][L"Interface\\{I}"][L""] = Text(REG_SZ, L"own");
    std::wstring shared[2];
    for (int build = 0; build < 2; ++build) {
        std::wstring text;
        std::wstring error;
        ASSERT_TRUE(WixFragmentText(keys[build], WixComponent{L"C:\\vtlMenu.dll", build == 0}, text, error));
        size_t start = text.find(L"<Component Id=\"vtlMenu.dll.shared\" Guid=");
        ASSERT_NE(std::wstring::npos, start);
        shared[build] = text.substr(start, text.find(L"</Component>", start) - start);
    }
    EXPECT_EQ(shared[0], shared[1]);
    EXPECT_NE(std::wstring::npos, shared[0].find(L"Key=\"Interface\\{I}\" Type=\"string\" Value=\"IThing\""));
    EXPECT_EQ(std::wstring::npos, shared[0].find(L"own"));
}

TEST(WixFragment, RefusesWhatTheInstallerTablesCannotCarry)
{
    struct Case {
        const char* what;
        const wchar_t* key;
        const wchar_t* name;
        RegistryValue value;
    };
    const Case cases[] = {
        {"binary data", L"K", L"v", Bytes(REG_BINARY, {1, 2})},
        {"an expandable string", L"K", L"v", Text(REG_EXPAND_SZ, L"%x%")},
        {"an empty string", L"K", L"v", Text(REG_SZ, L"")},
        {"a preprocessor reference", L"K", L"v", Text(REG_SZ, L"$(var.x)")},
        {"a control character", L"K", L"v", Text(REG_SZ, L"a\tb")},
        {"a value on the root", L"", L"v", Text(REG_SZ, L"x")},
        {"a name the tables reserve", L"K", L"+", Text(REG_SZ, L"x")},
    };
    for (const Case& item : cases) {
        RegistrySnapshot keys;
        keys[item.key][item.name] = item.value;
        std::wstring text = L"untouched";
        std::wstring error;
        EXPECT_FALSE(WixFragmentText(keys, WixComponent{L"C:\\vtlMenu.dll", false}, text, error)) << item.what;
        EXPECT_FALSE(error.empty()) << item.what;
        EXPECT_EQ(L"untouched", text) << item.what;
    }
}

TEST(OutputFile, ReplacesTheTargetWholeAndLeavesNothingOnFailure)
{
    TempFolder folder(L"vtlreg output");
    std::wstring target = folder.Path() + L"out.txt";
    std::wstring error;
    ASSERT_TRUE(WriteWholeFile(target, "old", error));
    ASSERT_TRUE(WriteWholeFile(target, "new content", error));
    EXPECT_EQ("new content", ReadFileBytes(target));
    EXPECT_EQ(1, FilesIn(folder.Path())) << "the temporary file is gone";

    // A folder in the target's place cannot be replaced: it stays, and no temporary is left.
    ASSERT_FALSE(folder.MakeFolders(L"taken").empty());
    EXPECT_FALSE(WriteWholeFile(folder.Path() + L"taken", "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(1, FilesIn(folder.Path()));
    EXPECT_FALSE(WriteWholeFile(folder.Path() + L"missing\\out.txt", "x", error));
}

// Only the keys named to the guard are put back, and of those only the ones it could read.
TEST_F(TestKey, GuardPutsBackTheWatchedKeysItCanReadAndReportsWhatWasWritten)
{
    Write(L"Kept", nullptr, L"old");
    Write(L"Kept", L"Removed", L"value");
    Write(L"Gone\\Child", L"x", L"1");
    Write(L"Other", nullptr, L"old");
    Write(L"Locked", nullptr, L"old");
    RegistrySnapshot before = TakeRegistrySnapshot(HKEY_CURRENT_USER, kTestKey);
    SetAccessRules(L"Locked", L"D:(D;;KR;;;WD)(A;;KA;;;WD)");  // no one may read it

    RegistryGuard guard(HKEY_CURRENT_USER, kTestKey, {L"Kept", L"Gone", L"New\\Deeper\\Deepest", L"Locked\\Named"});
    Write(L"Kept", nullptr, L"new");
    Write(L"Kept", L"Added", L"a");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Kept").c_str(), L"Removed");
    Write(L"New\\Deeper", L"y", L"2");
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kTestKey) + L"\\Gone").c_str());
    for (const wchar_t* key : {L"Other", L"Neighbour", L"Locked"}) {
        Write(key, nullptr, L"another program's");
        before[key][L""] = Text(REG_SZ, L"another program's");
    }
    bool restored = true;
    RegistryChanges changes = guard.Restore(restored);

    EXPECT_FALSE(restored) << "a watched key could not be read";
    SetAccessRules(L"Locked", L"D:(A;;KA;;;WD)");
    EXPECT_TRUE(RegistryDifferences(before, TakeRegistrySnapshot(HKEY_CURRENT_USER, kTestKey)).empty());
    EXPECT_EQ(Text(REG_SZ, L"new"), changes.written[L"Kept"][L""]);
    EXPECT_EQ(Text(REG_SZ, L"a"), changes.written[L"Kept"][L"Added"]);
    EXPECT_EQ(2u, changes.written[L"Kept"].size()) << "the key as it is now";
    EXPECT_EQ(Text(REG_SZ, L"2"), changes.written[L"New\\Deeper"][L"y"]);
    EXPECT_TRUE(changes.written.count(L"New"));
    EXPECT_EQ(3u, changes.written.size());
    EXPECT_EQ(std::vector<std::wstring>{L"New"}, changes.addedKeys) << "the outermost key made";
    EXPECT_EQ((std::vector<std::wstring>{L"Kept", L"Gone"}), changes.removedKeys) << "the keys there before";

    // The changes sent elsewhere: written keys made, removed keys taken away.
    std::wstring elsewhere = std::wstring(kTestKey) + L"\\Elsewhere";
    Write(L"Elsewhere\\Gone\\Child", nullptr, L"z");
    UniqueKey target;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, elsewhere.c_str(), 0, KEY_ALL_ACCESS, target.Put()));
    EXPECT_TRUE(ApplyRegistryChanges(target.Get(), changes));
    EXPECT_FALSE(RegistryKeyExists(target.Get(), L"Gone"));
    EXPECT_EQ(L"2", RegistryString(target.Get(), L"New\\Deeper", L"y"));
    EXPECT_EQ(L"new", RegistryString(target.Get(), L"Kept"));

    RegistryGuard quiet(HKEY_CURRENT_USER, kTestKey, {L"Kept"});
    EXPECT_TRUE(quiet.Restore(restored).Empty());
    EXPECT_TRUE(restored);
}

TEST(ClassRootRedirect, SendsClassesRootWritesToTheTargetUntilItEnds)
{
    std::wstring scratchPath;
    {
        ScratchKey scratch;
        ASSERT_EQ(ERROR_SUCCESS, scratch.Status());
        scratchPath = scratch.Path();
        {
            ClassRootRedirect redirect(scratch.Get());
            ASSERT_EQ(ERROR_SUCCESS, redirect.Status());
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, L"VtlRedirectProbe\\Child", 0, nullptr, 0,
                                                     KEY_WRITE, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
        EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, scratchPath + L"\\VtlRedirectProbe\\Child"));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"VtlRedirectProbe"));
        EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "the real classes are back";
    }
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, scratchPath)) << "the scratch key goes with its scope";
}

}  // namespace
