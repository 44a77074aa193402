#include <gtest/gtest.h>

#include <objbase.h>

#include "built_files.h"

namespace {

using DllCanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();
using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

const CLSID kVTLShlExt = {0x4C2E8A15, 0x93D7, 0x4B61, {0xA0, 0xF4, 0x7E, 0x5B, 0x12, 0xC9, 0xD8, 0x36}};

TEST(BuiltDll, LoadsExportsByNameAndOrdinalAndUnloads)
{
    std::wstring path = BuiltDllPath();
    ASSERT_FALSE(path.empty()) << "VTL_DLL is not set";

    HMODULE library = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, library) << "LoadLibraryW failed with " << GetLastError();

    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(library, names[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(nullptr, byName) << names[ordinal - 1];
        EXPECT_EQ(byName, byOrdinal) << "ordinal " << ordinal;
    }
    EXPECT_EQ(nullptr, GetProcAddress(library, MAKEINTRESOURCEA(5)));
    EXPECT_EQ(nullptr, GetProcAddress(library, "DllMain"));

    auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_NE(nullptr, canUnloadNow);
    EXPECT_EQ(S_OK, canUnloadNow());

    auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    ASSERT_NE(nullptr, getClassObject);
    EXPECT_EQ(E_POINTER, getClassObject(kVTLShlExt, IID_IClassFactory, nullptr));
    void* object = &object;
    const CLSID unknownClass = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(unknownClass, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
    EXPECT_EQ(S_OK, canUnloadNow());

    // The detach of a process that is ending (reserved not null) tears nothing down: the
    // factory and its objects go on working, and FreeLibrary's detach tears down in full.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, getClassObject(kVTLShlExt, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    auto* base = reinterpret_cast<BYTE*>(library);
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto entry = reinterpret_cast<BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID)>(base + headers->OptionalHeader.AddressOfEntryPoint);
    EXPECT_TRUE(entry(library, DLL_PROCESS_DETACH, reinterpret_cast<LPVOID>(1)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, &object));
    static_cast<IUnknown*>(object)->Release();
    factory->Release();
    EXPECT_TRUE(FreeLibrary(library));
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));
}

}  // namespace
