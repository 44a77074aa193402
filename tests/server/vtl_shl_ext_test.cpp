#include <gtest/gtest.h>

#include <shlobj.h>

#include "drop_files.h"
#include "extension/menu_bitmap.h"
#include "heap_usage.h"
#include "module_override.h"
#include "server/module_lifecycle.h"
#include "server/vtl_guids.h"
#include "server/vtl_shl_ext.h"

namespace {

// A module record of the test's own, brought up as the DLL's is, whose heap the test walks.
class VTLShlExtTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, InitModule(&record_, nullptr, GetModuleHandleW(nullptr)));
        MenuBitmap();  // the module's one bitmap and its tear-down node belong to no object
        baseline_ = BusyBlocks(record_.privateHeap);
    }
    void TearDown() override
    {
        EXPECT_EQ(0, record_.lockCount);
        EXPECT_EQ(baseline_, BusyBlocks(record_.privateHeap)) << "the object left memory behind";
        TermModule(&record_);
    }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    int baseline_ = 0;
};

template <typename T>
T* Query(IUnknown* from, REFIID iid)
{
    void* out = nullptr;
    EXPECT_EQ(S_OK, from->QueryInterface(iid, &out));
    return static_cast<T*>(out);
}

TEST_F(VTLShlExtTest, EveryInterfaceAnswersWithTheSameIdentity)
{
    IContextMenu* menu = nullptr;
    ASSERT_EQ(S_OK, CreateVTLShlExt(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)));
    auto* object = reinterpret_cast<VTLShlExtObject*>(reinterpret_cast<BYTE*>(menu) - 2 * sizeof(void*));
    EXPECT_EQ(1, object->refCount);
    EXPECT_EQ(1, record_.lockCount);

    auto* identity = reinterpret_cast<IUnknown*>(&object->shlExt);
    auto* init = Query<IShellExtInit>(menu, IID_IShellExtInit);
    EXPECT_EQ(reinterpret_cast<void*>(&object->shellExtInit), init);
    EXPECT_EQ(reinterpret_cast<void*>(&object->contextMenu), Query<IContextMenu>(init, IID_IContextMenu));
    EXPECT_EQ(3, object->refCount);
    for (IUnknown* from : {identity, static_cast<IUnknown*>(init), static_cast<IUnknown*>(menu)}) {
        for (const IID* iid : {&IID_IUnknown, &IID_IVTLShlExt, &IID_IDispatch}) {
            LONG before = object->refCount;
            EXPECT_EQ(identity, Query<IUnknown>(from, *iid));
            EXPECT_EQ(before + 1, object->refCount);
        }
        void* out = &out;
        EXPECT_EQ(E_NOINTERFACE, from->QueryInterface(IID_IClassFactory, &out));
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ(E_POINTER, from->QueryInterface(IID_IContextMenu, nullptr));
    }
    EXPECT_EQ(12, object->refCount);
    while (object->refCount > 1) {
        identity->Release();
    }
    EXPECT_EQ(1, record_.lockCount);
    EXPECT_EQ(0u, menu->Release());
}

TEST_F(VTLShlExtTest, InterfacesReachTheExtension)
{
    IShellExtInit* init = nullptr;
    ASSERT_EQ(S_OK, CreateVTLShlExt(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)));
    ComPtr<IDataObject> data =
        HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, {L"C:\\a\\notes.txt", L"C:\\a\\B.JPG"});
    EXPECT_EQ(S_OK, init->Initialize(nullptr, data.Get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, init->Initialize(nullptr, nullptr, nullptr));

    auto* menu = Query<IContextMenu>(init, IID_IContextMenu);
    HMENU popup = CreatePopupMenu();
    EXPECT_EQ(1, menu->QueryContextMenu(popup, 0, 40, 50, CMF_NORMAL));
    EXPECT_EQ(40u, GetMenuItemID(popup, 0));
    DestroyMenu(popup);
    char name[8] = "keep";
    EXPECT_EQ(E_NOTIMPL, menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, name, sizeof(name)));
    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_VALIDATEW, nullptr, nullptr, 0));
    EXPECT_STREQ("keep", name);
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    EXPECT_EQ(E_INVALIDARG, menu->InvokeCommand(&info));

    menu->Release();
    EXPECT_EQ(0u, init->Release());
}

TEST_F(VTLShlExtTest, RefusedCreationLeavesNothing)
{
    void* out = &out;
    EXPECT_EQ(E_NOINTERFACE, CreateVTLShlExt(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, CreateVTLShlExt(nullptr, IID_IUnknown, nullptr));

    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;  // every allocation fails
    EXPECT_EQ(E_OUTOFMEMORY, CreateVTLShlExt(nullptr, IID_IUnknown, &out));
    record_.privateHeap = heap;
    EXPECT_EQ(nullptr, out);
}

// A controlling object that aggregates the extension: answers IUnknown and IPersist itself,
// refuses everything else, and counts what reaches it.
struct OuterObject : IUnknown {
    LONG references = 1;
    int queries = 0;
    IUnknown* inner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        ++queries;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IPersist) {
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

TEST_F(VTLShlExtTest, AggregateCountsOnTheOuterObjectAndAsksItFirst)
{
    OuterObject outer;
    ASSERT_EQ(S_OK, CreateVTLShlExt(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    auto* aggregate = reinterpret_cast<VTLShlExtAggregate*>(outer.inner);
    EXPECT_EQ(1, aggregate->innerRefCount);
    EXPECT_EQ(1, record_.lockCount);
    EXPECT_EQ(1, outer.references);

    auto* menu = Query<IContextMenu>(outer.inner, IID_IContextMenu);
    EXPECT_EQ(reinterpret_cast<void*>(&aggregate->contained.contextMenu), menu);
    EXPECT_EQ(2, outer.references);
    EXPECT_EQ(3u, menu->AddRef());
    EXPECT_EQ(1, aggregate->innerRefCount);

    int asked = outer.queries;
    EXPECT_EQ(static_cast<IUnknown*>(&outer), Query<IUnknown>(menu, IID_IPersist));  // the outer's own
    auto* init = Query<IShellExtInit>(menu, IID_IShellExtInit);  // refused outside, answered inside
    EXPECT_EQ(reinterpret_cast<void*>(&aggregate->contained.shellExtInit), init);
    EXPECT_EQ(asked + 2, outer.queries);
    EXPECT_EQ(E_POINTER, menu->QueryInterface(IID_IShellExtInit, nullptr));
    EXPECT_EQ(E_POINTER, outer.inner->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(5, outer.references);
    EXPECT_EQ(1, aggregate->innerRefCount);

    for (int release = 0; release < 4; ++release) {
        menu->Release();
    }
    EXPECT_EQ(1, outer.references);
    EXPECT_EQ(0u, outer.inner->Release());  // destroys the aggregate, leaves the outer alone
    EXPECT_EQ(1, outer.references);
}

TEST_F(VTLShlExtTest, DestroyedAggregateGivesBackItsSelection)
{
    OuterObject outer;
    ASSERT_EQ(S_OK, CreateVTLShlExt(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
    auto* init = Query<IShellExtInit>(outer.inner, IID_IShellExtInit);
    ComPtr<IDataObject> data = HandMadeDataObject::Create(
        HandMadeDataObject::Offer::kPaths, {L"C:\\a\\one.png", L"C:\\a\\two.txt", L"C:\\a\\three.tif"});
    ASSERT_EQ(S_OK, init->Initialize(nullptr, data.Get(), nullptr));
    init->Release();
    EXPECT_EQ(baseline_ + 3, BusyBlocks(record_.privateHeap));  // the object, its pointers, its text

    EXPECT_EQ(0u, outer.inner->Release());
    EXPECT_EQ(0, record_.lockCount);
    EXPECT_EQ(baseline_, BusyBlocks(record_.privateHeap));
}

TEST_F(VTLShlExtTest, AggregateIsMadeForIUnknownOnly)
{
    OuterObject outer;
    void* out = &out;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateVTLShlExt(&outer, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, outer.references);
}

}  // namespace
