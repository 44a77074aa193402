#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "registry_fixture.h"
#include "regscript/replacement_map.h"
#include "regscript/script_walk.h"
#include "script_generator.h"

namespace {

// --scripts=N (default 2000) and --seed=N on the command line.
uint32_t Option(const char* name, uint32_t fallback)
{
    for (int index = 1; index < __argc; ++index) {
        size_t length = strlen(name);
        if (strncmp(__argv[index], name, length) == 0 && __argv[index][length] == '=') {
            return static_cast<uint32_t>(strtoul(__argv[index] + length + 1, nullptr, 10));
        }
    }
    return fallback;
}

const uint32_t kScripts = Option("--scripts", 2000);
const uint32_t kSeed = Option("--seed", 20240501);

// Runs generated scripts inside HKCU\Software\vtlMenuTests\RegscriptGenerated\A\B\Case, with a
// sentinel key that no script names beside and inside Case (named to sort after every
// generated name).
class GeneratedScriptTest : public testing::Test {
protected:
    GeneratedScriptTest() { map_.Add(L"Var", kVariableValue); }
    ~GeneratedScriptTest() override { RemoveEverything(); }

    HRESULT Run(const std::wstring& entries, BOOL doRegister)
    {
        std::wstring text = L"HKCU { NoRemove Software { NoRemove vtlMenuTests {"
                            L" NoRemove RegscriptGenerated { A { B { NoRemove Case {\r\n" +
                            entries + L"\r\n} } } } } } }\r\n";
        ScriptReader reader = {nullptr, &map_};
        return RunScript(reader, text.c_str(), doRegister);
    }

    void Prepare()
    {
        RemoveEverything();
        MakeKey(HKEY_CURRENT_USER, kCase);
        SetString(HKEY_CURRENT_USER, kCase + std::wstring(L"\\~Sentinel"), L"s", L"inside");
        SetString(HKEY_CURRENT_USER, kRoot + std::wstring(L"\\A\\B\\Sentinel"), L"s", L"beside");
    }

    std::wstring Case()
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kCase, 0, KEY_READ, &key)) {
            return L"<gone>";
        }
        std::wstring dump = Dump(key);
        RegCloseKey(key);
        return dump;
    }

    // The container's whole tree and whatever a broken script left above it.
    std::wstring Everything()
    {
        std::wstring state = Dump(levels_[3]);
        for (HKEY level : {levels_[0], levels_[1], levels_[2]}) {
            ForEachGenerated(level, [&](const wchar_t* name, bool isKey) {
                state += std::wstring(L"|") + name;
                HKEY key;
                if (isKey && RegOpenKeyExW(level, name, 0, KEY_READ, &key) == ERROR_SUCCESS) {
                    state += L"/\n" + Dump(key);
                    RegCloseKey(key);
                }
                return 1;
            });
        }
        return state;
    }

    bool SentinelsIntact()
    {
        wchar_t value[16];
        DWORD size = sizeof(value);
        bool inside = RegGetValueW(HKEY_CURRENT_USER, (kCase + std::wstring(L"\\~Sentinel")).c_str(),
                                   L"s", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
        size = sizeof(value);
        return inside && RegGetValueW(HKEY_CURRENT_USER,
                                      (kRoot + std::wstring(L"\\A\\B\\Sentinel")).c_str(), L"s",
                                      RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
    }

private:
    static constexpr const wchar_t* kRoot = L"Software\\vtlMenuTests\\RegscriptGenerated";
    static constexpr const wchar_t* kCase = L"Software\\vtlMenuTests\\RegscriptGenerated\\A\\B\\Case";

    // Calls visit(name, isKey) for each subkey and value of level with a generated name;
    // visit returns how far to move on (0 when it removed the item).
    template <typename Visit>
    static void ForEachGenerated(HKEY level, Visit visit)
    {
        wchar_t name[16384];
        for (DWORD index = 0;;) {
            DWORD length = 16384;
            if (RegEnumKeyExW(level, index, name, &length, nullptr, nullptr, nullptr, nullptr)) {
                break;
            }
            index += IsGeneratedName(name) ? visit(name, true) : 1;
        }
        for (DWORD index = 0;;) {
            DWORD length = 16384;
            if (RegEnumValueW(level, index, name, &length, nullptr, nullptr, nullptr, nullptr)) {
                break;
            }
            index += IsGeneratedName(name) ? visit(name, false) : 1;
        }
    }

    // Removes the container, and keys and values with generated names at the levels above it,
    // where a script with extra closing braces may have put them.
    void RemoveEverything()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
        for (HKEY level : {levels_[0], levels_[1], levels_[2]}) {
            ForEachGenerated(level, [&](const wchar_t* name, bool isKey) {
                return (isKey ? RegDeleteTreeW(level, name) : RegDeleteValueW(level, name)) != 0;
            });
        }
    }

    static HKEY Open(const wchar_t* path)
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        return key;
    }

    ReplacementMap map_;
    HKEY levels_[4] = {HKEY_CURRENT_USER, Open(L"Software"), Open(L"Software\\vtlMenuTests"),
                       Open(kRoot)};
};

TEST_F(GeneratedScriptTest, RegisterThenUnregisterLeavesNoTrace)
{
    Prepare();  // each unregister run must leave the case key as it found it
    for (uint32_t script = 0; script < kScripts; ++script) {
        GeneratedBlock block = GenerateBlock(kSeed + script);
        ASSERT_EQ(S_OK, Run(block.entries, TRUE)) << "seed " << kSeed + script << "\n" << block.entries;
        ASSERT_EQ(block.expected + L"~Sentinel/\n~Sentinel:s=S inside\n", Case())
            << "seed " << kSeed + script << "\n" << block.entries;
        ASSERT_EQ(S_OK, Run(block.entries, FALSE)) << "seed " << kSeed + script;
        ASSERT_EQ(L"~Sentinel/\n~Sentinel:s=S inside\n", Case())
            << "seed " << kSeed + script << "\n" << block.entries;
    }
}

// A failed register run has walked its block once in unregister mode already, so a further
// unregister run of the same text finds nothing more to do.
TEST_F(GeneratedScriptTest, BrokenScriptsFailCleanlyAndUndoTheirBlock)
{
    std::mt19937 random(kSeed);
    int failures = 0;
    for (uint32_t script = 0; script < kScripts; ++script) {
        std::wstring text = Mutate(GenerateBlock(kSeed + script).entries, random);
        Prepare();
        HRESULT registered = Run(text, TRUE);
        ASSERT_TRUE(registered == S_OK || registered == DISP_E_EXCEPTION || registered == E_FAIL)
            << std::hex << registered << "\n" << text;
        ASSERT_TRUE(SentinelsIntact()) << text;
        std::wstring afterRegister = Everything();
        HRESULT unregistered = Run(text, FALSE);
        ASSERT_TRUE(unregistered == S_OK || unregistered == DISP_E_EXCEPTION || unregistered == E_FAIL)
            << std::hex << unregistered << "\n" << text;
        ASSERT_TRUE(SentinelsIntact()) << text;
        if (FAILED(registered)) {
            ++failures;
            ASSERT_EQ(afterRegister, Everything()) << text;
        }
    }
    RecordProperty("cases", static_cast<int>(kScripts));
    RecordProperty("failedRegisterRuns", failures);
    std::printf("fuzz: %u cases, %d failed to register\n", kScripts, failures);
}

}  // namespace
