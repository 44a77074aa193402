#include <gtest/gtest.h>

#include "heap_usage.h"
#include "module_override.h"
#include "server/class_factory.h"
#include "server/module_lifecycle.h"

namespace {

const CLSID kServed = {0x5A5A5A5A, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
const CLSID kNoFactory = {0x6B6B6B6B, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
const CLSID kUnknown = {0x7C7C7C7C, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// The object creator the factory serves: records what it was asked and answers as told.
IUnknown* lastOuter = nullptr;
HRESULT creatorAnswer = S_OK;
HRESULT RecordingCreator(IUnknown* outer, REFIID, void** out)
{
    lastOuter = outer;
    if (creatorAnswer == S_OK) {
        *out = reinterpret_cast<void*>(0x1234);
    }
    return creatorAnswer;
}

class ClassFactoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        table_[0] = {&kNoFactory, nullptr, nullptr, RecordingCreator, nullptr, 0, nullptr, nullptr, NoHook};
        table_[1] = {&kServed, nullptr, CreateClassFactory, RecordingCreator, nullptr, 0, nullptr, nullptr, NoHook};
        table_[2] = {};
        ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
        baseline_ = BusyBlocks(record_.privateHeap);
        creatorAnswer = S_OK;
        lastOuter = nullptr;
    }
    void TearDown() override
    {
        if (!torn_) {
            TermModule(&record_);
        }
    }
    static void NoHook(bool) {}

    IClassFactory* Factory()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, GetClassObjectFromTable(&record_, kServed, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory)));
        return factory;
    }

    ClassObjectEntry table_[3] = {};
    ModuleState record_ = {};
    ModuleOverride override_{record_};
    int baseline_ = 0;
    bool torn_ = false;
};

TEST_F(ClassFactoryTest, UnservedClassesAndBadArguments)
{
    void* out = &out;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, GetClassObjectFromTable(&record_, kUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = &out;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, GetClassObjectFromTable(&record_, kNoFactory, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, GetClassObjectFromTable(&record_, kServed, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_INVALIDARG, GetClassObjectFromTable(nullptr, kServed, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, table_[1].factory);
    EXPECT_EQ(baseline_, BusyBlocks(record_.privateHeap));
}

TEST_F(ClassFactoryTest, OneFactoryHoldsTheModuleWhileClientsHoldIt)
{
    IClassFactory* first = Factory();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(static_cast<void*>(first), table_[1].factory);
    auto* record = reinterpret_cast<ClassFactory*>(first);
    EXPECT_EQ(2, record->refCount);
    EXPECT_EQ(1, record_.lockCount);

    IUnknown* second = nullptr;
    ASSERT_EQ(S_OK, GetClassObjectFromTable(&record_, kServed, IID_IUnknown, reinterpret_cast<void**>(&second)));
    EXPECT_EQ(static_cast<void*>(first), second);
    EXPECT_EQ(3, record->refCount);
    EXPECT_EQ(1, record_.lockCount);  // one count for any number of client references

    void* out = &out;
    EXPECT_EQ(E_NOINTERFACE, GetClassObjectFromTable(&record_, kServed, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(3, record->refCount);

    EXPECT_EQ(2u, second->Release());
    EXPECT_EQ(1, record_.lockCount);
    EXPECT_EQ(1u, first->Release());
    EXPECT_EQ(0, record_.lockCount);
    EXPECT_EQ(static_cast<void*>(first), table_[1].factory);  // the table still holds it

    // Tear-down releases the table's reference: the factory and its memory are gone.
    TermModule(&record_);
    torn_ = true;
    EXPECT_EQ(nullptr, table_[1].factory);
}

TEST_F(ClassFactoryTest, FactoryRefusedInterfaceStillCachesTheFactory)
{
    void* out = &out;
    EXPECT_EQ(E_NOINTERFACE, GetClassObjectFromTable(&record_, kServed, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    ASSERT_NE(nullptr, table_[1].factory);
    EXPECT_EQ(1, reinterpret_cast<ClassFactory*>(table_[1].factory)->refCount);
    EXPECT_EQ(0, record_.lockCount);
}

TEST_F(ClassFactoryTest, CreateInstanceChecksAggregationThenAsksTheCreator)
{
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    IUnknown* outer = reinterpret_cast<IUnknown*>(0x42);
    void* out = &out;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IPersist, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(nullptr, lastOuter);  // the creator was not asked
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));

    EXPECT_EQ(S_OK, factory->CreateInstance(outer, IID_IUnknown, &out));
    EXPECT_EQ(outer, lastOuter);
    creatorAnswer = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, factory->CreateInstance(nullptr, IID_IUnknown, &out));
    factory->Release();
}

TEST_F(ClassFactoryTest, LockServerMovesTheModuleCountWithAFloor)
{
    IClassFactory* factory = Factory();
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(2, record_.lockCount);  // one for the lock, one for the client reference
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    // Unmatched: the client reference still holds the module.
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, ModuleCanUnloadNow(&record_));
    EXPECT_EQ(1u, factory->Release());
    EXPECT_EQ(S_OK, ModuleCanUnloadNow(&record_));
}

TEST_F(ClassFactoryTest, FactoryThatCannotBeMadeIsTriedAgainLater)
{
    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;
    void* out = &out;
    EXPECT_EQ(E_OUTOFMEMORY, GetClassObjectFromTable(&record_, kServed, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(nullptr, table_[1].factory);
    record_.privateHeap = heap;

    IClassFactory* factory = Factory();
    EXPECT_NE(nullptr, factory);
    factory->Release();
}

TEST_F(ClassFactoryTest, CreatorRefusingTheInterfaceDestroysTheFactory)
{
    void* out = &out;
    EXPECT_EQ(E_NOINTERFACE, CreateClassFactory(RecordingCreator, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(baseline_, BusyBlocks(record_.privateHeap));
    EXPECT_EQ(0, record_.lockCount);
}

}  // namespace
