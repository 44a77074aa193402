#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "built_dll_fixture.h"

// The two resources that registration reads from the DLL file: the registry script and the
// type library. Each built DLL is checked; the 32-bit product DLL is read as a data file.
namespace {

const GUID kLibraryId = {0x9E61B3D2, 0x0A47, 0x4C8F, {0xB5, 0xE9, 0x2D, 0x83, 0xF4, 0xA6, 0xC1, 0x70}};
const IID kInterfaceId = {0x2B8F6C4E, 0xD1A3, 0x4795, {0x8E, 0x2C, 0x51, 0xF0, 0xB7, 0xA9, 0xE3, 0x64}};
const CLSID kClassId = {0x4C2E8A15, 0x93D7, 0x4B61, {0xA0, 0xF4, 0x7E, 0x5B, 0x12, 0xC9, 0xD8, 0x36}};
const GUID kStdOle = {0x00020430, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// The compiler's version number and the library's build time stamp.
const GUID kCompilerVersion = {0xDE77BA64, 0x517C, 0x11D1, {0xA2, 0xDA, 0x00, 0x00, 0xF8, 0x77, 0x3C, 0xE9}};
const GUID kBuildTime = {0xDE77BA63, 0x517C, 0x11D1, {0xA2, 0xDA, 0x00, 0x00, 0xF8, 0x77, 0x3C, 0xE9}};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring Owned(BSTR text)
{
    std::wstring copy = text ? std::wstring(text, SysStringLen(text)) : L"<null>";
    SysFreeString(text);
    return copy;
}

std::wstring NameOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL)
{
    BSTR name = nullptr;
    return SUCCEEDED(info->GetDocumentation(member, &name, nullptr, nullptr, nullptr)) ? Owned(name)
                                                                                        : L"<none>";
}

std::wstring HelpStringOf(ITypeInfo* info)
{
    BSTR help = nullptr;
    return SUCCEEDED(info->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr))
               ? Owned(help)
               : L"<none>";
}

// Type attributes, copied out so that a test can compare them after releasing the original.
TYPEATTR AttributesOf(ITypeInfo* info)
{
    TYPEATTR copy = {};
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
        copy = *attributes;
        info->ReleaseTypeAttr(attributes);
    }
    return copy;
}

TLIBATTR LibraryAttributesOf(ITypeLib* library)
{
    TLIBATTR copy = {};
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        copy = *attributes;
        library->ReleaseTLibAttr(attributes);
    }
    return copy;
}

// The type description that implementation slot `index` of `info` refers to; null when none.
ITypeInfo* ImplementedType(ITypeInfo* info, UINT index)
{
    HREFTYPE reference = 0;
    ITypeInfo* implemented = nullptr;
    if (FAILED(info->GetRefTypeOfImplType(index, &reference)) ||
        FAILED(info->GetRefTypeInfo(reference, &implemented))) {
        return nullptr;
    }
    return implemented;
}

// A few words of the compiled file itself, for what the platform's reader folds into other
// values: the flags the library and each type description were stored with.
struct StoredTypeLibrary {
    UINT32 libraryFlags = 0xFFFFFFFF;
    INT32 libraryLocale = -1;
    INT32 importCount = -1;
    std::vector<std::pair<UINT32, UINT32>> kindsAndFlags;
};

StoredTypeLibrary ReadStoredTypeLibrary(const BYTE* data, DWORD size)
{
    auto word = [&](DWORD offset) {
        INT32 value = 0;
        if (offset + 4 <= size) {
            std::memcpy(&value, data + offset, 4);
        }
        return value;
    };
    StoredTypeLibrary stored;
    if (size < 0x54 || std::memcmp(data, "MSFT", 4) != 0) {
        return stored;
    }
    stored.libraryLocale = word(0x10);
    stored.libraryFlags = static_cast<UINT32>(word(0x1C));
    stored.importCount = word(0x50);
    INT32 typeCount = word(0x20);
    DWORD directory = 0x54 + ((word(0x14) & 0x100) ? 4 : 0) + 4 * typeCount;
    DWORD types = static_cast<DWORD>(word(directory));  // segment 0: 0x64 bytes per type
    for (INT32 index = 0; index < typeCount; ++index) {
        DWORD entry = types + 0x64 * index;
        stored.kindsAndFlags.emplace_back(word(entry) & 0xF, word(entry + 0x30));
    }
    return stored;
}

class RegistrationResources : public BuiltDllFixture {
protected:
    void SetUp() override
    {
        BuiltDllFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comStarted_ = true;
    }
    void TearDown() override
    {
        if (typeLib_) {
            typeLib_->Release();
        }
        if (comStarted_) {
            CoUninitialize();
        }
        BuiltDllFixture::TearDown();
    }

    SYSKIND ExpectedSystemKind() const
    {
        return Is64Bit() ? SYS_WIN64 : SYS_WIN32;
    }

    ITypeLib* LoadedTypeLib()
    {
        if (!typeLib_) {
            EXPECT_EQ(S_OK, LoadTypeLibEx(path_.c_str(), REGKIND_NONE, &typeLib_));
        }
        return typeLib_;
    }

    bool comStarted_ = false;
    ITypeLib* typeLib_ = nullptr;
};

TEST_P(RegistrationResources, RegistryScriptIsTheSourceFileByteForByte)
{
    std::vector<BYTE> resource = Resource(L"REGISTRY", 101);
    ASSERT_FALSE(resource.empty()) << "no REGISTRY resource 101 in language 2052";

    std::wstring source = WindowsPathFromEnvironment("VTL_REGISTRY_SCRIPT");
    ASSERT_FALSE(source.empty()) << "VTL_REGISTRY_SCRIPT is not set";
    std::ifstream file(Narrow(source), std::ios::binary);
    ASSERT_TRUE(file) << Narrow(source);
    std::vector<BYTE> expected{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};

    // 877 bytes of ANSI text with carriage return and line feed; any other line ends or
    // indentation change the size.
    EXPECT_EQ(877u, expected.size());
    EXPECT_EQ(expected.size(), resource.size());
    EXPECT_TRUE(expected == resource) << "the resource differs from res/vtlMenu.rgs";
}

TEST_P(RegistrationResources, TypeLibraryDeclaresTheLibrary)
{
    ASSERT_FALSE(Resource(L"TYPELIB", 1).empty()) << "no TYPELIB resource 1 in language 2052";
    ITypeLib* library = LoadedTypeLib();
    ASSERT_NE(nullptr, library);

    TLIBATTR attributes = LibraryAttributesOf(library);
    EXPECT_TRUE(IsEqualGUID(kLibraryId, attributes.guid));
    EXPECT_EQ(0u, attributes.lcid);
    EXPECT_EQ(ExpectedSystemKind(), attributes.syskind);
    EXPECT_EQ(1, attributes.wMajorVerNum);
    EXPECT_EQ(0, attributes.wMinorVerNum);
    // The platform marks every library it loaded from a file; no flag was declared.
    EXPECT_EQ(0, attributes.wLibFlags & ~LIBFLAG_FHASDISKIMAGE);

    BSTR name = nullptr;
    BSTR help = nullptr;
    DWORD helpContext = 99;
    BSTR helpFile = nullptr;
    ASSERT_EQ(S_OK, library->GetDocumentation(-1, &name, &help, &helpContext, &helpFile));
    EXPECT_EQ(L"VTLMENULib", Owned(name));
    EXPECT_EQ(L"vtlMenu 1.0 Type Library", Owned(help));
    EXPECT_EQ(0u, helpContext);
    EXPECT_EQ(L"<null>", Owned(helpFile));

    EXPECT_EQ(2u, library->GetTypeInfoCount());
}

TEST_P(RegistrationResources, TypeLibraryCarriesOnlyVersionAndTimeStampAsCustomData)
{
    ITypeLib* library = LoadedTypeLib();
    ASSERT_NE(nullptr, library);
    ITypeLib2* library2 = nullptr;
    ASSERT_EQ(S_OK, library->QueryInterface(IID_ITypeLib2, reinterpret_cast<void**>(&library2)));
    CUSTDATA data = {};
    ASSERT_EQ(S_OK, library2->GetAllCustData(&data));
    library2->Release();

    ASSERT_EQ(2u, data.cCustData);
    int version = 0;
    int time = 0;
    for (DWORD index = 0; index < data.cCustData; ++index) {
        const CUSTDATAITEM& item = data.prgCustData[index];
        EXPECT_EQ(VT_UI4, item.varValue.vt);
        version += IsEqualGUID(kCompilerVersion, item.guid);
        time += IsEqualGUID(kBuildTime, item.guid);
    }
    EXPECT_EQ(1, version);
    EXPECT_EQ(1, time);
    ClearCustData(&data);
}

TEST_P(RegistrationResources, TypeLibraryStoresOnlyTheDeclaredFlags)
{
    std::vector<BYTE> file = Resource(L"TYPELIB", 1);
    ASSERT_FALSE(file.empty());
    StoredTypeLibrary stored = ReadStoredTypeLibrary(file.data(), static_cast<DWORD>(file.size()));
    EXPECT_EQ(0u, stored.libraryFlags);
    EXPECT_EQ(0, stored.libraryLocale);
    EXPECT_EQ(1, stored.importCount);
    // The dual interface is stored as its dispatch description, the class as a coclass.
    std::vector<std::pair<UINT32, UINT32>> expected = {
        {TKIND_COCLASS, TYPEFLAG_FCANCREATE},
        {TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE}};
    EXPECT_EQ(expected, stored.kindsAndFlags);
}

TEST_P(RegistrationResources, InterfaceIsDualOverIDispatchWithNoMembersOfItsOwn)
{
    ITypeLib* library = LoadedTypeLib();
    ASSERT_NE(nullptr, library);
    ITypeInfo* dispatch = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(kInterfaceId, &dispatch));

    EXPECT_EQ(L"IVTLShlExt", NameOf(dispatch));
    EXPECT_EQ(L"IVTLShlExt Interface", HelpStringOf(dispatch));
    TYPEATTR attributes = AttributesOf(dispatch);
    EXPECT_EQ(TKIND_DISPATCH, attributes.typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
              attributes.wTypeFlags & ~TYPEFLAG_FOLEAUTOMATION);
    EXPECT_EQ(0, attributes.wMajorVerNum);
    EXPECT_EQ(0, attributes.wMinorVerNum);
    EXPECT_EQ(0u, attributes.lcid);
    EXPECT_EQ(0, attributes.cVars);

    // The dispatch view lists every function callable through it: the seven inherited ones.
    const wchar_t* inherited[] = {L"QueryInterface",   L"AddRef",      L"Release",      L"GetTypeInfoCount",
                                  L"GetTypeInfo",      L"GetIDsOfNames", L"Invoke"};
    for (UINT index = 0; index < 7; ++index) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(S_OK, dispatch->GetFuncDesc(index, &function)) << index;
        EXPECT_EQ(inherited[index], NameOf(dispatch, function->memid));
        dispatch->ReleaseFuncDesc(function);
    }
    FUNCDESC* beyond = nullptr;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, dispatch->GetFuncDesc(7, &beyond));

    // The interface view: no functions of its own, a table of seven slots, based on IDispatch.
    HREFTYPE interfaceReference = 0;
    ITypeInfo* vtable = nullptr;
    ASSERT_EQ(S_OK, dispatch->GetRefTypeOfImplType(-1, &interfaceReference));
    ASSERT_EQ(S_OK, dispatch->GetRefTypeInfo(interfaceReference, &vtable));
    TYPEATTR vtableAttributes = AttributesOf(vtable);
    EXPECT_EQ(TKIND_INTERFACE, vtableAttributes.typekind);
    EXPECT_EQ(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
              vtableAttributes.wTypeFlags);
    EXPECT_EQ(0, vtableAttributes.cFuncs);
    WORD pointerSize = ExpectedSystemKind() == SYS_WIN64 ? 8 : 4;
    EXPECT_EQ(7 * pointerSize, vtableAttributes.cbSizeVft);
    ASSERT_EQ(1, vtableAttributes.cImplTypes);

    ITypeInfo* base = ImplementedType(vtable, 0);
    ASSERT_NE(nullptr, base);
    EXPECT_EQ(L"IDispatch", NameOf(base));
    EXPECT_TRUE(IsEqualGUID(IID_IDispatch, AttributesOf(base).guid));
    ITypeLib* container = nullptr;
    UINT index = 0;
    ASSERT_EQ(S_OK, base->GetContainingTypeLib(&container, &index));
    TLIBATTR imported = LibraryAttributesOf(container);
    EXPECT_TRUE(IsEqualGUID(kStdOle, imported.guid)) << "IDispatch must come from stdole2";
    EXPECT_EQ(2, imported.wMajorVerNum);
    EXPECT_EQ(0, imported.wMinorVerNum);
    container->Release();

    int functions = AttributesOf(base).cFuncs;
    ITypeInfo* root = ImplementedType(base, 0);
    ASSERT_NE(nullptr, root);
    EXPECT_EQ(L"IUnknown", NameOf(root));
    functions += AttributesOf(root).cFuncs;
    EXPECT_EQ(7, functions);

    root->Release();
    base->Release();
    vtable->Release();
    dispatch->Release();
}

TEST_P(RegistrationResources, ClassIsCreatableWithTheInterfaceAsDefault)
{
    ITypeLib* library = LoadedTypeLib();
    ASSERT_NE(nullptr, library);
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(kClassId, &coclass));

    EXPECT_EQ(L"VTLShlExt", NameOf(coclass));
    EXPECT_EQ(L"VTLShlExt Class", HelpStringOf(coclass));
    TYPEATTR attributes = AttributesOf(coclass);
    EXPECT_EQ(TKIND_COCLASS, attributes.typekind);
    EXPECT_EQ(TYPEFLAG_FCANCREATE, attributes.wTypeFlags);
    EXPECT_EQ(0, attributes.wMajorVerNum);
    EXPECT_EQ(0, attributes.wMinorVerNum);
    ASSERT_EQ(1, attributes.cImplTypes);

    INT flags = 0;
    EXPECT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
    EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
    ITypeInfo* implemented = ImplementedType(coclass, 0);
    ASSERT_NE(nullptr, implemented);
    EXPECT_TRUE(IsEqualGUID(kInterfaceId, AttributesOf(implemented).guid));
    implemented->Release();
    coclass->Release();
}

VTL_FOR_EACH_BUILT_DLL(RegistrationResources);

}  // namespace
