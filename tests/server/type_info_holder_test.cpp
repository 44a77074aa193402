#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <thread>

#include "automation_test_library.h"
#include "built_files.h"
#include "module_override.h"
#include "runtime/com_ptr.h"
#include "server/module_lifecycle.h"
#include "server/type_info_holder.h"

namespace {

constexpr LCID kNeutral = 0;
constexpr LCID kEnglish = 0x409;

// An object of the test interface whose IDispatch methods are served by a holder, as the
// extension object's are by the module's holder.
class TestObject : public IAutomationTest {
public:
    explicit TestObject(TypeInfoHolder& holder) : holder_(holder) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, kTestInterfaceId)) {
            *object = static_cast<IAutomationTest*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&references_); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID locale, ITypeInfo** info) override
    {
        return holder_.GetTypeInfo(locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override
    {
        return holder_.GetIDsOfNames(names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) override
    {
        return holder_.Invoke(this, member, locale, flags, parameters, result, exception,
                              argumentError);
    }

    HRESULT STDMETHODCALLTYPE get_Value(LONG* value) override
    {
        *value = value_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Value(LONG value) override
    {
        value_ = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(LONG first, LONG second, LONG* sum) override
    {
        *sum = first + second;
        return S_OK;
    }

    LONG value_ = 0;

private:
    TypeInfoHolder& holder_;
    LONG references_ = 1;
};

// Calls Add(first, second) through IDispatch::Invoke; the sum, or -1 on failure.
LONG InvokeAdd(IDispatch* object, LONG first, LONG second, HRESULT* result = nullptr)
{
    VARIANT arguments[2];
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    // Arguments are passed last first.
    V_VT(&arguments[0]) = VT_I4;
    V_I4(&arguments[0]) = second;
    V_VT(&arguments[1]) = VT_I4;
    V_I4(&arguments[1]) = first;
    DISPPARAMS parameters = {arguments, nullptr, 2, 0};
    VARIANT sum;
    VariantInit(&sum);
    HRESULT called = object->Invoke(kAddId, IID_NULL, kNeutral, DISPATCH_METHOD, &parameters, &sum,
                                    nullptr, nullptr);
    if (result) {
        *result = called;
    }
    return SUCCEEDED(called) && V_VT(&sum) == VT_I4 ? V_I4(&sum) : -1;
}

int ExitCallbacksFor(const ModuleState& record, void* holder)
{
    int count = 0;
    for (ExitCallbackNode* node = record.exitCallbacks; node; node = node->next) {
        count += node->callback == ClearTypeInfoHolder && node->argument == holder;
    }
    return count;
}

// Each test brings up a module record of its own (so that its exit callbacks run at the end
// of the test) and a fresh holder of the test interface. The test type library is registered
// from the built ".tlb" file.
class TypeInfoHolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, InitModule(&record_, nullptr, GetModuleHandleW(nullptr)));
        up_ = true;
        ASSERT_TRUE(RegisterTestLibrary());
    }
    void TearDown() override
    {
        if (up_) {
            TermModule(&record_);
        }
        RemoveTestTypeLibRegistration();
    }

    static bool RegisterTestLibrary()
    {
        std::wstring path = WindowsPathFromEnvironment("VTL_TEST_TYPELIB");
        ComPtr<ITypeLib> library;
        return SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, library.Put()));
    }

    // Shuts the record down as process detach does.
    void ShutDown()
    {
        TermModule(&record_);
        up_ = false;
    }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    bool up_ = false;
    TypeInfoHolder holder_ = {&kTestInterfaceId, &kTestLibraryId, 1, 0, nullptr, nullptr, 0};
    TestObject object_{holder_};
};

TEST_F(TypeInfoHolderTest, LoadsOnceAndHandsOutTheSameTypeInformationForEveryLocale)
{
    ComPtr<ITypeInfo> first;
    ASSERT_EQ(S_OK, holder_.GetTypeInfo(kNeutral, first.Put()));
    ASSERT_TRUE(first);
    EXPECT_EQ(holder_.typeInfo, first.Get());
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, first->GetTypeAttr(&attributes));
    EXPECT_TRUE(IsEqualGUID(kTestInterfaceId, attributes->guid));
    first->ReleaseTypeAttr(attributes);

    ComPtr<ITypeInfo> second;
    ASSERT_EQ(S_OK, object_.GetTypeInfo(5, kEnglish, second.Put()));
    EXPECT_EQ(first.Get(), second.Get());
}

TEST_F(TypeInfoHolderTest, NameCacheHoldsEveryFunctionInTheTypesOrder)
{
    ASSERT_EQ(S_OK, holder_.EnsureTypeInfo(kNeutral));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, holder_.typeInfo->GetTypeAttr(&attributes));
    INT32 functions = attributes->cFuncs;
    holder_.typeInfo->ReleaseTypeAttr(attributes);

    ASSERT_EQ(functions, holder_.nameCacheCount);
    ASSERT_NE(nullptr, holder_.nameCache);
    for (INT32 index = 0; index < holder_.nameCacheCount; ++index) {
        const NameCacheEntry& entry = holder_.nameCache[index];
        ASSERT_NE(nullptr, entry.name) << index;
        EXPECT_EQ(static_cast<INT32>(SysStringLen(entry.name)), entry.length);
    }
    // The dispatch view lists the seven inherited functions first, then the interface's own.
    ASSERT_EQ(10, holder_.nameCacheCount);
    EXPECT_EQ(std::wstring(L"QueryInterface"), holder_.nameCache[0].name);
    EXPECT_EQ(std::wstring(L"Value"), holder_.nameCache[7].name);
    EXPECT_EQ(kValueId, holder_.nameCache[7].memberId);
    EXPECT_EQ(std::wstring(L"Value"), holder_.nameCache[8].name);
    EXPECT_EQ(std::wstring(L"Add"), holder_.nameCache[9].name);
    EXPECT_EQ(kAddId, holder_.nameCache[9].memberId);
}

TEST_F(TypeInfoHolderTest, NamesAreAnsweredFromTheCacheAndParametersByTheTypeInformation)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"second"),
                        const_cast<LPOLESTR>(L"first")};
    DISPID ids[3] = {};
    ASSERT_EQ(S_OK, object_.GetIDsOfNames(IID_NULL, names, 3, kNeutral, ids));
    EXPECT_EQ(kAddId, ids[0]);
    EXPECT_EQ(1, ids[1]);
    EXPECT_EQ(0, ids[2]);

    // Ids planted in the cache show where an answer came from; of two entries of one name
    // the later function's answers.
    holder_.nameCache[7].memberId = 70;
    holder_.nameCache[8].memberId = 80;
    holder_.nameCache[9].memberId = 90;
    LPOLESTR value[] = {const_cast<LPOLESTR>(L"Value")};
    ASSERT_EQ(S_OK, holder_.GetIDsOfNames(value, 1, kNeutral, ids));
    EXPECT_EQ(80, ids[0]);
    ASSERT_EQ(S_OK, holder_.GetIDsOfNames(names, 1, kNeutral, ids));
    EXPECT_EQ(90, ids[0]);
    // A parameter name misses the cache: the type information then answers the whole
    // request, the member name included.
    ASSERT_EQ(S_OK, holder_.GetIDsOfNames(names, 3, kNeutral, ids));
    EXPECT_EQ(kAddId, ids[0]);
    EXPECT_EQ(1, ids[1]);
    EXPECT_EQ(0, ids[2]);
}

TEST_F(TypeInfoHolderTest, NameDifferingInCaseMissesTheCacheAndIsAnsweredByTheTypeInformation)
{
    ASSERT_EQ(S_OK, holder_.EnsureTypeInfo(kNeutral));
    holder_.nameCache[9].memberId = 90;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"aDD")};
    DISPID id = 0;
    EXPECT_EQ(S_OK, holder_.GetIDsOfNames(names, 1, kNeutral, &id));
    EXPECT_EQ(kAddId, id);

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Subtract")};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, holder_.GetIDsOfNames(unknown, 1, kNeutral, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
}

TEST_F(TypeInfoHolderTest, ZeroNamesLoadAndWriteNothing)
{
    DISPID id = 1234;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add")};
    EXPECT_EQ(S_OK, holder_.GetIDsOfNames(names, 0, kNeutral, &id));
    EXPECT_EQ(1234, id);
    EXPECT_NE(nullptr, holder_.typeInfo);

    EXPECT_EQ(E_INVALIDARG, holder_.GetIDsOfNames(nullptr, 1, kNeutral, &id));
    EXPECT_EQ(E_INVALIDARG, holder_.GetIDsOfNames(names, 1, kNeutral, nullptr));
    LPOLESTR missing[] = {nullptr};
    EXPECT_EQ(E_INVALIDARG, holder_.GetIDsOfNames(missing, 1, kNeutral, &id));
}

TEST_F(TypeInfoHolderTest, UnfilledCacheEntryNeverAnswers)
{
    ASSERT_EQ(S_OK, holder_.EnsureTypeInfo(kNeutral));
    // An entry whose name the type information did not give: null name, length 0.
    NameCacheEntry& unfilled = holder_.nameCache[holder_.nameCacheCount - 1];
    SysFreeString(unfilled.name);
    unfilled = NameCacheEntry{nullptr, 0, 99};

    LPOLESTR empty[] = {const_cast<LPOLESTR>(L"")};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, holder_.GetIDsOfNames(empty, 1, kNeutral, &id));
    EXPECT_NE(99, id);
}

TEST_F(TypeInfoHolderTest, CacheThatCannotBeAllocatedStaysEmptyAndNamesStillResolve)
{
    // Without a heap every module allocation fails: the name cache and the exit callback.
    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;
    HRESULT loaded = holder_.EnsureTypeInfo(kNeutral);
    record_.privateHeap = heap;
    ASSERT_EQ(S_OK, loaded);
    EXPECT_NE(nullptr, holder_.typeInfo);
    EXPECT_EQ(nullptr, holder_.nameCache);
    EXPECT_EQ(0, holder_.nameCacheCount);
    EXPECT_EQ(0, ExitCallbacksFor(record_, &holder_));

    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"first")};
    DISPID ids[2] = {};
    EXPECT_EQ(S_OK, holder_.GetIDsOfNames(names, 2, kNeutral, ids));
    EXPECT_EQ(kAddId, ids[0]);
    EXPECT_EQ(0, ids[1]);
    ClearTypeInfoHolder(&holder_);
}

TEST_F(TypeInfoHolderTest, InvokeCallsTheMembersOfTheInstance)
{
    EXPECT_EQ(5, InvokeAdd(&object_, 2, 3));

    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 41;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &putId, 1, 1};
    EXPECT_EQ(S_OK, object_.Invoke(kValueId, IID_NULL, kNeutral, DISPATCH_PROPERTYPUT, &put,
                                   nullptr, nullptr, nullptr));
    EXPECT_EQ(41, object_.value_);

    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(S_OK, object_.Invoke(kValueId, IID_NULL, kNeutral, DISPATCH_PROPERTYGET, &none,
                                   &result, nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&result));
    EXPECT_EQ(41, V_I4(&result));

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, object_.Invoke(77, IID_NULL, kNeutral, DISPATCH_METHOD,
                                                    &none, nullptr, nullptr, nullptr));
}

TEST_F(TypeInfoHolderTest, UnregisteredLibraryFailsEveryCallThenLoadsOnceRegistered)
{
    RemoveTestTypeLibRegistration();

    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&info);
    HRESULT failure = holder_.GetTypeInfo(kNeutral, &info);
    EXPECT_TRUE(FAILED(failure));
    EXPECT_EQ(nullptr, info);
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Add")};
    DISPID id = 0;
    EXPECT_EQ(failure, holder_.GetIDsOfNames(names, 1, kNeutral, &id));
    HRESULT invoked = S_OK;
    InvokeAdd(&object_, 1, 1, &invoked);
    EXPECT_EQ(failure, invoked);
    EXPECT_EQ(nullptr, holder_.typeInfo);
    EXPECT_EQ(nullptr, holder_.nameCache);

    ASSERT_TRUE(RegisterTestLibrary());
    EXPECT_EQ(7, InvokeAdd(&object_, 3, 4));
    EXPECT_NE(nullptr, holder_.typeInfo);
}

TEST_F(TypeInfoHolderTest, LibraryWithoutTheInterfaceReturnsTheLookupFailure)
{
    const IID absent = {0x6A0E2F3C, 0x8B41, 0x4D7A, {0x9C, 0x25, 0x3E, 0x1F, 0x0B, 0x6D, 0x4A, 0x82}};
    holder_.interfaceId = &absent;
    ITypeInfo* info = nullptr;
    EXPECT_EQ(TYPE_E_ELEMENTNOTFOUND, holder_.GetTypeInfo(kNeutral, &info));
    EXPECT_EQ(nullptr, info);
    EXPECT_EQ(nullptr, holder_.typeInfo);
}

TEST_F(TypeInfoHolderTest, NullOutputIsRefusedWithoutLoading)
{
    EXPECT_EQ(E_POINTER, holder_.GetTypeInfo(kNeutral, nullptr));
    EXPECT_EQ(nullptr, holder_.typeInfo);
    EXPECT_EQ(0, ExitCallbacksFor(record_, &holder_));
}

TEST_F(TypeInfoHolderTest, HolderIsOnTheExitListOnceHoweverOftenItTriedToLoad)
{
    RemoveTestTypeLibRegistration();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_TRUE(FAILED(holder_.EnsureTypeInfo(kNeutral)));
    }
    EXPECT_EQ(1, ExitCallbacksFor(record_, &holder_));

    ASSERT_TRUE(RegisterTestLibrary());
    EXPECT_EQ(S_OK, holder_.EnsureTypeInfo(kNeutral));
    EXPECT_EQ(S_OK, holder_.EnsureTypeInfo(kNeutral));
    EXPECT_EQ(1, ExitCallbacksFor(record_, &holder_));
}

TEST_F(TypeInfoHolderTest, ShutDownReleasesTheTypeInformationAndTheCache)
{
    ITypeInfo* info = nullptr;
    ASSERT_EQ(S_OK, holder_.GetTypeInfo(kNeutral, &info));
    ShutDown();
    EXPECT_EQ(nullptr, holder_.typeInfo);
    EXPECT_EQ(nullptr, holder_.nameCache);
    // Only the caller's reference is left.
    EXPECT_EQ(0u, info->Release());

    ClearTypeInfoHolder(&holder_);  // repeated: harmless
    EXPECT_EQ(nullptr, holder_.typeInfo);
}

TEST_F(TypeInfoHolderTest, TwoThreadsOnAFreshHolderLoadOnce)
{
    // Both threads find nothing loaded and wait for the lock, which the test holds until
    // both are waiting.
    HRESULT results[2] = {E_UNEXPECTED, E_UNEXPECTED};
    LONG sums[2] = {};
    EnterCriticalSection(&record_.generalLock);
    std::thread first([&] { sums[0] = InvokeAdd(&object_, 1, 2, &results[0]); });
    std::thread second([&] { sums[1] = InvokeAdd(&object_, 10, 20, &results[1]); });
    for (int wait = 0; wait < 5000 && record_.generalLock.LockCount < 2; ++wait) {
        Sleep(1);
    }
    LeaveCriticalSection(&record_.generalLock);
    first.join();
    second.join();

    EXPECT_EQ(S_OK, results[0]);
    EXPECT_EQ(S_OK, results[1]);
    EXPECT_EQ(3, sums[0]);
    EXPECT_EQ(30, sums[1]);
    // A second load would have stored a second reference (or leaked the first).
    ASSERT_NE(nullptr, holder_.typeInfo);
    EXPECT_EQ(2u, holder_.typeInfo->AddRef());
    holder_.typeInfo->Release();
    EXPECT_EQ(1, ExitCallbacksFor(record_, &holder_));
}

}  // namespace
