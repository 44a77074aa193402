// The shell's whole road through the real COM runtime: the DLL registered by its own
// DllRegisterServer, created with CoCreateInstance, initialised with the shell's data object
// for real files, asked for its menu and invoked, until vtlpublish records its start. Also
// what the registration exports ask of the COM runtime.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "built_files.h"
#include "com_apartment.h"
#include "drop_files.h"
#include "publisher.h"
#include "registry_probe.h"
#include "server/server_registration.h"
#include "server/vtl_guids.h"
#include "temp_folder.h"

namespace {

using ExportFunction = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// DllCanUnloadNow of the DLL as COM has loaded it, or S_OK when it is not loaded at all.
HRESULT CanUnloadNow()
{
    HMODULE loaded = GetModuleHandleW(BuiltDllPath().c_str());
    return loaded ? Export<ExportFunction>(loaded, "DllCanUnloadNow")() : S_OK;
}

class Activation : public testing::Test {
protected:
    // Registered once for the suite with the module's own registration, removed at the end.
    static void SetUpTestSuite() { registered_ = CallExport("DllRegisterServer"); }
    static void TearDownTestSuite() { CallExport("DllUnregisterServer"); }
    static HRESULT CallExport(const char* name)
    {
        HMODULE library = LoadLibraryW(BuiltDllPath().c_str());
        HRESULT result = library ? Export<ExportFunction>(library, name)() : E_FAIL;
        FreeLibrary(library);
        return result;
    }

    void SetUp() override { ASSERT_EQ(S_OK, registered_); }
    void TearDown() override
    {
        CoFreeUnusedLibrariesEx(0, 0);
        EXPECT_EQ(S_OK, CanUnloadNow());
    }

    static HRESULT registered_;
    ComApartment apartment_;
    TempFolder folder_{L"activation"};
};
HRESULT Activation::registered_ = E_FAIL;

TEST_F(Activation, RightClickAndInvokeStartTheApplication)
{
    PublisherInstallation publisher(folder_.Path() + L"Vtl Pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    for (const wchar_t* name : {L"Beach.JPG", L"notes.txt", L"alps.png"}) {
        ASSERT_FALSE(folder_.MakeFile(name).empty());
    }
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), {L"Beach.JPG", L"notes.txt", L"alps.png"});
    ASSERT_TRUE(data);

    HBITMAP bitmap = nullptr;
    {
        ComPtr<IShellExtInit> init;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VTLShlExt, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                         init.PutVoid()));
        EXPECT_EQ(S_FALSE, CanUnloadNow());
        ASSERT_EQ(S_OK, init->Initialize(nullptr, data.Get(), nullptr));
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(S_OK, init.QueryInterface(IID_IContextMenu, menu));

        HMENU popup = CreatePopupMenu();
        ASSERT_EQ(1, menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_NORMAL));
        wchar_t text[64] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
        item.dwTypeData = text;
        item.cch = ARRAYSIZE(text);
        ASSERT_TRUE(GetMenuItemInfoW(popup, 0, TRUE, &item));
        EXPECT_STREQ(L"&Publish with Vantorel", text);
        EXPECT_EQ(100u, item.wID);
        bitmap = item.hbmpUnchecked;
        EXPECT_EQ(OBJ_BITMAP, static_cast<int>(GetObjectType(bitmap)));
        DestroyMenu(popup);

        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(0);
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    }
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    std::wstring folder = folder_.Path();
    CharLowerBuffW(&folder[0], static_cast<DWORD>(folder.size()));
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + folder + L"::alps.png::beach.jpg::notes.txt\"",
              records[0].command);
    EXPECT_EQ(folder_.Path() + L"Vtl Pub", records[0].directory);

    // Released, the DLL can go; unloaded, it has deleted its bitmap.
    EXPECT_EQ(S_OK, CanUnloadNow());
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(nullptr, GetModuleHandleW(BuiltDllPath().c_str()));
    EXPECT_EQ(0u, GetObjectType(bitmap));
}

// A controlling object that aggregates the extension through the COM runtime.
struct OuterObject : IUnknown {
    LONG references = 1;
    ComPtr<IUnknown> inner;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown) {
            *out = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST_F(Activation, AggregatedObjectCountsOnItsOuterObject)
{
    OuterObject outer;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VTLShlExt, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                     outer.inner.PutVoid()));
    ComPtr<IUnknown> refused;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_VTLShlExt, &outer, CLSCTX_INPROC_SERVER,
                                                      IID_IContextMenu, refused.PutVoid()));

    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, outer.QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    EXPECT_EQ(2, outer.references);
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(static_cast<IUnknown*>(&outer), identity);  // the outer object answers first
    identity->Release();
    menu->Release();
    EXPECT_EQ(1, outer.references);
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    outer.inner.Reset();  // the aggregate goes, the outer object stays
    EXPECT_EQ(1, outer.references);
}

TEST_F(Activation, LockServerKeepsTheModuleLoaded)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_VTLShlExt, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                     factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    factory.Reset();
    EXPECT_EQ(S_FALSE, CanUnloadNow());
    CoFreeUnusedLibrariesEx(0, 0);
    HMODULE loaded = GetModuleHandleW(BuiltDllPath().c_str());
    ASSERT_NE(nullptr, loaded);

    // The factory is cached in the module: asking again finds the same one to unlock.
    auto getClassObject = Export<GetClassObjectFunction>(loaded, "DllGetClassObject");
    ASSERT_EQ(S_OK, getClassObject(CLSID_VTLShlExt, IID_IClassFactory, factory.PutVoid()));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Reset();
}

// Eight threads ask a freshly loaded module for its class object at the same moment; all get
// the one factory, and the module can be unloaded again afterwards. Repeated with reloads.
TEST(ClassObjectRace, EightThreadsGetOneFactory)
{
    for (int round = 0; round < 40; ++round) {
        HMODULE library = LoadLibraryW(BuiltDllPath().c_str());
        ASSERT_NE(nullptr, library);
        auto getClassObject = Export<GetClassObjectFunction>(library, "DllGetClassObject");
        auto canUnloadNow = Export<ExportFunction>(library, "DllCanUnloadNow");

        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::vector<IClassFactory*> factories(8, nullptr);
        std::vector<HRESULT> results(8, E_FAIL);
        std::vector<std::thread> threads;
        for (size_t index = 0; index < factories.size(); ++index) {
            threads.emplace_back([&, index] {
                WaitForSingleObject(start, INFINITE);
                results[index] = getClassObject(CLSID_VTLShlExt, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factories[index]));
            });
        }
        Sleep(1);
        SetEvent(start);
        for (std::thread& thread : threads) {
            thread.join();
        }
        CloseHandle(start);

        for (size_t index = 0; index < factories.size(); ++index) {
            EXPECT_EQ(S_OK, results[index]) << "round " << round;
            EXPECT_EQ(factories[0], factories[index]) << "round " << round << ", thread " << index;
        }
        EXPECT_EQ(S_FALSE, canUnloadNow());
        for (IClassFactory* factory : factories) {
            if (factory) {
                factory->Release();
            }
        }
        EXPECT_EQ(S_OK, canUnloadNow()) << "round " << round;
        EXPECT_TRUE(FreeLibrary(library));
        ASSERT_EQ(nullptr, GetModuleHandleW(BuiltDllPath().c_str()));
    }
}

// Registered in the calling apartment for the component categories manager's class, it is
// what CoCreateInstance of that class reaches there; it counts the objects asked of it.
struct CategoriesManagerStandIn : IClassFactory {
    int creations = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) {
            return E_NOINTERFACE;
        }
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override
    {
        ++creations;
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The module's class has no category list, so its registration exports never create the
// categories manager.
TEST(RegistrationExports, NeverCreateTheCategoriesManager)
{
    ComApartment apartment;
    CategoriesManagerStandIn standIn;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_StdComponentCategoriesMgr, &standIn, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    // A class with a category asks the stand-in.
    const CATID category = {0x6B2D1F22, 0x8C3E, 0x4F40, {0x9B, 0x12, 0x22, 0x33, 0x44, 0x55, 0x66, 0x01}};
    const CategoryEntry categories[] = {{1, &category}, {0, nullptr}};
    EXPECT_EQ(S_OK, RegisterClassCategories(CLSID_VTLShlExt, categories, TRUE));
    ASSERT_EQ(1, standIn.creations);

    const std::wstring serverKey = L"CLSID\\" + GuidText(CLSID_VTLShlExt) + L"\\InprocServer32";
    HMODULE library = LoadLibraryW(BuiltDllPath().c_str());
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(S_OK, Export<ExportFunction>(library, "DllRegisterServer")());
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, serverKey));
    EXPECT_EQ(S_OK, Export<ExportFunction>(library, "DllUnregisterServer")());
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, serverKey));
    FreeLibrary(library);
    EXPECT_EQ(1, standIn.creations);
    CoRevokeClassObject(cookie);
}

}  // namespace
