// The DLL's Authenticode signature, judged by the platform's own verifier (WinVerifyTrust,
// generic verify action, as application-control policies ask it): with the tests' root in the
// machine's trusted root store, the signed DLL is trusted, the DLL as built carries no
// signature, and a signed copy with one byte of its code changed is refused. (Wine 8 also
// trusts the signed DLL before its root is in the store, so that the root is needed cannot be
// shown here.)

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <string>
#include <vector>

#include "built_files.h"
#include "runtime/unique_resource.h"
#include "temp_folder.h"

namespace {

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CertCloseStore(value, 0); }
};

std::vector<BYTE> ReadWholeFile(const std::wstring& path)
{
    UniqueResource<FileHandleTraits> file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<BYTE> bytes(file ? GetFileSize(file.Get(), nullptr) : 0);
    DWORD read = 0;
    if (!file || !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return {};
    }
    return bytes;
}

// Flips one bit in the middle of the first code section, as a damaged download or a patch would.
bool ChangeOneCodeByte(const std::wstring& path)
{
    std::vector<BYTE> bytes = ReadWholeFile(path);
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) {
        return false;
    }
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
        bytes.data() + reinterpret_cast<IMAGE_DOS_HEADER*>(bytes.data())->e_lfanew);
    IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    for (WORD index = 0; index < headers->FileHeader.NumberOfSections; ++index, ++section) {
        if (section->Characteristics & IMAGE_SCN_CNT_CODE) {
            bytes.at(section->PointerToRawData + section->SizeOfRawData / 2) ^= 0x01;
            UniqueResource<FileHandleTraits> file(
                CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD written = 0;
            return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
    return false;
}

LONG VerifyTrust(const std::wstring& path)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;  // the test root publishes no revocation list
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG answer = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;  // frees what the verification kept
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return answer;
}

// The machine's trusted root store, as an administrator's certificate import writes it.
UniqueResource<CertStoreTraits> MachineRootStore()
{
    return UniqueResource<CertStoreTraits>(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
}

TEST(Authenticode, TheSignedDllIsTrustedWholeAndTheOthersAreNot)
{
    const std::wstring signedDll = WindowsPathFromEnvironment("VTL_SIGNED_DLL");
    if (GetFileAttributesW(signedDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no signed DLL: the signed_files test could not sign on this machine";
    }
    TempFolder folder(L"authenticode");
    const std::wstring altered = folder.CopyIn(signedDll, L"vtlMenu.dll");
    ASSERT_TRUE(ChangeOneCodeByte(altered));
    std::vector<BYTE> pem = ReadWholeFile(WindowsPathFromEnvironment("VTL_TEST_ROOT"));
    DWORD size = 0;
    ASSERT_TRUE(CryptStringToBinaryA(reinterpret_cast<const char*>(pem.data()), static_cast<DWORD>(pem.size()),
                                     CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr));
    std::vector<BYTE> root(size);
    ASSERT_TRUE(CryptStringToBinaryA(reinterpret_cast<const char*>(pem.data()), static_cast<DWORD>(pem.size()),
                                     CRYPT_STRING_BASE64HEADER, root.data(), &size, nullptr, nullptr));

    PCCERT_CONTEXT added = nullptr;
    ASSERT_TRUE(CertAddEncodedCertificateToStore(MachineRootStore().Get(), X509_ASN_ENCODING, root.data(), size,
                                                 CERT_STORE_ADD_REPLACE_EXISTING, &added));
    struct Case {
        const char* file;
        std::wstring path;
        LONG expected;
    };
    const Case cases[] = {
        {"the signed DLL", signedDll, ERROR_SUCCESS},
        {"the DLL as built", BuiltDllPath(), TRUST_E_NOSIGNATURE},
        {"the signed DLL with one code byte changed", altered, TRUST_E_BAD_DIGEST},
    };
    for (const Case& item : cases) {
        LONG answer = VerifyTrust(item.path);
        std::printf("WinVerifyTrust, %s: 0x%08lX\n", item.file, static_cast<unsigned long>(answer));
        EXPECT_EQ(item.expected, answer) << item.file;
    }
    CertDeleteCertificateFromStore(added);  // frees the context too; the store is as it was
}

}  // namespace
