// WinVerifyTrust (generic verify action) with the tests' root in the machine's trusted roots:
// the signed DLL is trusted, the DLL as built is unsigned, and the signed DLL with a byte of its
// code changed (by the signed_files test) is refused. Wine 8 trusts the signed DLL even before
// its root is in the store, so that the root is needed cannot be shown here.

#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <string>

#include "built_files.h"
#include "runtime/unique_resource.h"

namespace {

struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CertCloseStore(value, 0); }
};

struct CertificateTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CertFreeCertificateContext(value); }
};

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

TEST(Authenticode, TheSignedDllIsTrustedWholeAndTheOthersAreNot)
{
    const std::wstring signedDll = WindowsPathFromEnvironment("VTL_SIGNED_DLL");
    const std::wstring folder = signedDll.substr(0, signedDll.find_last_of(L'\\') + 1);
    if (GetFileAttributesW(signedDll.c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no signed DLL: the signed_files test could not sign on this machine";
    }
    UniqueResource<CertificateTraits> root;
    ASSERT_TRUE(CryptQueryObject(CERT_QUERY_OBJECT_FILE, (folder + L"test-only-root.crt").c_str(),
                                 CERT_QUERY_CONTENT_FLAG_CERT, CERT_QUERY_FORMAT_FLAG_ALL, 0, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, reinterpret_cast<const void**>(root.Put())));
    UniqueResource<CertStoreTraits> store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    PCCERT_CONTEXT trusted = nullptr;
    ASSERT_TRUE(CertAddCertificateContextToStore(store.Get(), root.Get(), CERT_STORE_ADD_REPLACE_EXISTING, &trusted));

    struct Case {
        const char* file;
        std::wstring path;
        LONG expected;
    };
    const Case cases[] = {
        {"the signed DLL", signedDll, ERROR_SUCCESS},
        {"the DLL as built", BuiltDllPath(), TRUST_E_NOSIGNATURE},
        {"the signed DLL with one code byte changed", folder + L"altered.dll", TRUST_E_BAD_DIGEST},
    };
    for (const Case& item : cases) {
        LONG answer = VerifyTrust(item.path);
        std::printf("WinVerifyTrust, %s: 0x%08lX\n", item.file, static_cast<unsigned long>(answer));
        EXPECT_EQ(item.expected, answer) << item.file;
    }
    CertDeleteCertificateFromStore(trusted);  // frees the context too; the store is as it was
}

}  // namespace
