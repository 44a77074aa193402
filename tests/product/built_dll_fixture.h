#pragma once
// A test fixture over each built DLL, mapped as a data file: the 32-bit product DLL and the ARM64
// DLL can be read so from the 64-bit test program, through the platform's own resource functions.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "built_files.h"

// The parameter names the environment variable holding the DLL's path.
class BuiltDllFixture : public testing::TestWithParam<const char*> {
protected:
    static constexpr WORD kLanguage = 2052;

    void SetUp() override
    {
        path_ = WindowsPathFromEnvironment(GetParam());
        if (path_.empty() || GetFileAttributesW(path_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            GTEST_SKIP() << GetParam() << " names no built DLL";
        }
        library_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, library_) << "cannot map " << GetParam() << ": " << GetLastError();
    }
    void TearDown() override
    {
        if (library_) {
            FreeLibrary(library_);
        }
    }

    bool IsThisBuild() const { return std::string(GetParam()) == "VTL_DLL"; }
    bool Is64Bit() const
    {
        return IsThisBuild() ? sizeof(void*) == 8 : std::string(GetParam()) == "VTL_ARM64_DLL";
    }

    // The bytes of a resource in language 2052; empty when there is none.
    std::vector<BYTE> Resource(const wchar_t* type, WORD id) const
    {
        HRSRC found = FindResourceExW(library_, type, MAKEINTRESOURCEW(id), kLanguage);
        if (!found) {
            return {};
        }
        auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(library_, found)));
        return bytes ? std::vector<BYTE>(bytes, bytes + SizeofResource(library_, found))
                     : std::vector<BYTE>();
    }

    std::wstring path_;
    HMODULE library_ = nullptr;
};

// Instantiates a suite for the DLL of this build, the 32-bit product DLL and the ARM64 DLL.
#define VTL_FOR_EACH_BUILT_DLL(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                  \
        BuiltDlls, suite, testing::Values("VTL_DLL", "VTL_X86_DLL", "VTL_ARM64_DLL"),          \
        [](const testing::TestParamInfo<const char*>& info) {                                  \
            std::string name = info.param;                                                     \
            return name == "VTL_DLL" ? "ThisBuild" : name == "VTL_X86_DLL" ? "ProductX86" : "Arm64"; \
        })
