// The IDispatch methods of IVTLShlExt, called on the object, plain and aggregated, and answered
// from the module's holder over the built DLL's type library, registered or not.

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include "built_files.h"
#include "module_override.h"
#include "runtime/com_ptr.h"
#include "server/module_lifecycle.h"
#include "server/module_type_lib.h"
#include "server/type_info_holder.h"
#include "server/vtl_guids.h"
#include "server/vtl_shl_ext.h"

namespace {

constexpr LCID kNeutral = 0;
constexpr LCID kEnglish = 0x409;

bool OnExitList(const ModuleState& record)
{
    for (ExitCallbackNode* node = record.exitCallbacks; node; node = node->next) {
        if (node->callback == ClearTypeInfoHolder && node->argument == &vtlShlExtTypeInfo) {
            return true;
        }
    }
    return false;
}

bool DescribesIVTLShlExt(ITypeInfo* info)
{
    TYPEATTR* attributes = nullptr;
    if (!info || FAILED(info->GetTypeAttr(&attributes))) {
        return false;
    }
    bool same = IsEqualGUID(IID_IVTLShlExt, attributes->guid);
    info->ReleaseTypeAttr(attributes);
    return same;
}

// A controlling object for the aggregated form; it answers only IUnknown itself.
struct OuterObject : IUnknown {
    LONG references = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid != IID_IUnknown) {
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
};

// Type information that records what Invoke was given. Every IVTLShlExt member the real
// library describes is restricted, so the real type information never reaches the instance.
struct RecordingTypeInfo : ITypeInfo {
    void* instance = nullptr;
    MEMBERID member = 0;
    WORD flags = 0;
    DISPPARAMS* parameters = nullptr;
    VARIANT* result = nullptr;
    EXCEPINFO* exception = nullptr;
    UINT* argumentError = nullptr;

    HRESULT STDMETHODCALLTYPE Invoke(void* called, MEMBERID id, WORD how, DISPPARAMS* given,
                                     VARIANT* out, EXCEPINFO* error, UINT* bad) override
    {
        instance = called;
        member = id;
        flags = how;
        parameters = given;
        result = out;
        exception = error;
        argumentError = bad;
        return DISP_E_BADPARAMCOUNT;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}
};

enum class Form { kPlain, kAggregated };

// A module record of the test's own, whose exit callbacks empty the module's holder at the end
// of each test; the object in the form of the parameter, reached through its IVTLShlExt
// pointer; the built DLL's type library registered with RegisterModuleTypeLib.
class DispatchThroughTheObject : public testing::TestWithParam<Form> {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, InitModule(&record_, nullptr, GetModuleHandleW(nullptr)));
        up_ = true;
        ASSERT_EQ(nullptr, vtlShlExtTypeInfo.typeInfo);
        dll_ = LoadLibraryW(BuiltDllPath().c_str());
        ASSERT_NE(nullptr, dll_);
        dllRecord_.typeLibInstance = dll_;
        ASSERT_EQ(S_OK, RegisterModuleTypeLib(&dllRecord_, nullptr));

        if (GetParam() == Form::kPlain) {
            ASSERT_EQ(S_OK, CreateVTLShlExt(nullptr, IID_IVTLShlExt, reinterpret_cast<void**>(&dispatch_)));
            return;
        }
        ASSERT_EQ(S_OK, CreateVTLShlExt(&outer_, IID_IUnknown, reinterpret_cast<void**>(&inner_)));
        ASSERT_EQ(S_OK, inner_->QueryInterface(IID_IVTLShlExt, reinterpret_cast<void**>(&dispatch_)));
        auto* aggregate = reinterpret_cast<VTLShlExtAggregate*>(inner_);
        ASSERT_EQ(reinterpret_cast<IDispatch*>(&aggregate->contained.shlExt), dispatch_);
    }
    void TearDown() override
    {
        if (dispatch_) {
            dispatch_->Release();
        }
        if (inner_) {
            inner_->Release();
        }
        if (up_) {
            TermModule(&record_);
        }
        if (dll_) {
            UnregisterModuleTypeLib(&dllRecord_, nullptr);
            FreeLibrary(dll_);
        }
    }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    bool up_ = false;
    HMODULE dll_ = nullptr;
    ModuleState dllRecord_ = {};
    OuterObject outer_;
    IUnknown* inner_ = nullptr;
    IDispatch* dispatch_ = nullptr;
};

TEST_P(DispatchThroughTheObject, NullOutPointersAreRefusedWithoutLoading)
{
    EXPECT_EQ(E_POINTER, dispatch_->GetTypeInfoCount(nullptr));
    EXPECT_EQ(E_POINTER, dispatch_->GetTypeInfo(0, kNeutral, nullptr));
    // A load takes the lock and then puts the holder on the exit list, whatever its result.
    EXPECT_EQ(nullptr, vtlShlExtTypeInfo.typeInfo);
    EXPECT_FALSE(OnExitList(record_));
}

TEST_P(DispatchThroughTheObject, UnregisteredLibraryFailsWithTheLoadCodeUntilRegistered)
{
    ASSERT_EQ(S_OK, UnregisterModuleTypeLib(&dllRecord_, nullptr));
    ComPtr<ITypeLib> library;
    const HRESULT loadFailure = LoadRegTypeLib(LIBID_VTLMENULib, 1, 0, kNeutral, library.Put());
    ASSERT_TRUE(FAILED(loadFailure));

    UINT count = 7;
    EXPECT_EQ(S_OK, dispatch_->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&info);
    EXPECT_EQ(loadFailure, dispatch_->GetTypeInfo(0, kNeutral, &info));
    EXPECT_EQ(nullptr, info);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke")};
    DISPID id = 0;
    EXPECT_EQ(loadFailure, dispatch_->GetIDsOfNames(IID_NULL, names, 1, kNeutral, &id));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(loadFailure, dispatch_->Invoke(DISPID_VALUE, IID_NULL, kNeutral, DISPATCH_METHOD, &none,
                                             nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, vtlShlExtTypeInfo.typeInfo);

    ASSERT_EQ(S_OK, RegisterModuleTypeLib(&dllRecord_, nullptr));
    EXPECT_EQ(S_OK, dispatch_->GetTypeInfo(0, kNeutral, &info));
    EXPECT_TRUE(DescribesIVTLShlExt(info));
    EXPECT_EQ(vtlShlExtTypeInfo.typeInfo, info);
    info->Release();
    EXPECT_EQ(S_OK, dispatch_->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
}

TEST_P(DispatchThroughTheObject, RegisteredLibraryAnswersAnyIndexAndNamesWhateverTheInterfaceId)
{
    ComPtr<ITypeInfo> first;
    ComPtr<ITypeInfo> other;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, kNeutral, first.Put()));
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(9, kEnglish, other.Put()));
    EXPECT_TRUE(DescribesIVTLShlExt(first.Get()));
    EXPECT_EQ(first.Get(), other.Get());
    // No members of its own: the cache holds the seven inherited names.
    EXPECT_EQ(7, vtlShlExtTypeInfo.nameCacheCount);

    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Invoke"), const_cast<LPOLESTR>(L"QueryInterface")};
    DISPID expected[2] = {};
    for (int index = 0; index < 2; ++index) {
        ASSERT_EQ(S_OK, first->GetIDsOfNames(&names[index], 1, &expected[index]));
    }
    DISPID ids[2] = {};
    EXPECT_EQ(S_OK, dispatch_->GetIDsOfNames(IID_IContextMenu, names, 2, kEnglish, ids));
    EXPECT_EQ(expected[0], ids[0]);
    EXPECT_EQ(expected[1], ids[1]);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Publish")};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch_->GetIDsOfNames(IID_NULL, unknown, 1, kNeutral, ids));

    // The inherited members are restricted: nothing of IVTLShlExt is callable by Invoke.
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, dispatch_->Invoke(expected[1], IID_IContextMenu, kNeutral,
                                                       DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

TEST_P(DispatchThroughTheObject, InvokeHandsOnThePointerTheCallArrivedOnAndEverythingElseUnchanged)
{
    RecordingTypeInfo recorder;
    vtlShlExtTypeInfo.typeInfo = &recorder;
    VARIANT argument;
    VariantInit(&argument);
    DISPPARAMS parameters = {&argument, nullptr, 1, 0};
    VARIANT result;
    EXCEPINFO exception;
    UINT argumentError = 0;
    HRESULT invoked = dispatch_->Invoke(42, IID_IContextMenu, kEnglish, DISPATCH_PROPERTYGET, &parameters,
                                        &result, &exception, &argumentError);
    vtlShlExtTypeInfo.typeInfo = nullptr;

    EXPECT_EQ(DISP_E_BADPARAMCOUNT, invoked);
    EXPECT_EQ(static_cast<void*>(dispatch_), recorder.instance);
    EXPECT_NE(static_cast<void*>(inner_), recorder.instance);
    EXPECT_EQ(42, recorder.member);
    EXPECT_EQ(DISPATCH_PROPERTYGET, recorder.flags);
    EXPECT_EQ(&parameters, recorder.parameters);
    EXPECT_EQ(&result, recorder.result);
    EXPECT_EQ(&exception, recorder.exception);
    EXPECT_EQ(&argumentError, recorder.argumentError);
}

INSTANTIATE_TEST_SUITE_P(Forms, DispatchThroughTheObject, testing::Values(Form::kPlain, Form::kAggregated),
                         [](const testing::TestParamInfo<Form>& info) {
                             return info.param == Form::kPlain ? "Plain" : "Aggregated";
                         });

}  // namespace
