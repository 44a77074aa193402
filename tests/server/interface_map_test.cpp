#include <gtest/gtest.h>

#include <cstddef>

#include "server/interface_map.h"

namespace {

const IID kFirst = {0x11111111, 0, 0, {1, 0, 0, 0, 0, 0, 0, 0}};
const IID kSecond = {0x22222222, 0, 0, {2, 0, 0, 0, 0, 0, 0, 0}};
const IID kAnswered = {0x33333333, 0, 0, {3, 0, 0, 0, 0, 0, 0, 0}};
const IID kOther = {0x44444444, 0, 0, {4, 0, 0, 0, 0, 0, 0, 0}};

// An interface pointer of a test object: counts its AddRef calls.
struct CountingInterface : IUnknown {
    int addRefs = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++addRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

struct TwoInterfaces {
    CountingInterface first;
    CountingInterface second;
};

// Function rows: each records that it was asked, then answers with the HRESULT in its argument.
int asked = 0;
HRESULT Answer(void* object, REFIID, void** out, DWORD_PTR argument)
{
    ++asked;
    HRESULT result = static_cast<HRESULT>(argument);
    if (result == S_OK) {
        *out = &static_cast<TwoInterfaces*>(object)->second;
    }
    return result;
}

DWORD_PTR As(HRESULT result)
{
    return static_cast<DWORD_PTR>(static_cast<ULONG>(result));
}

class QueryInterfaceFromTableTest : public testing::Test {
protected:
    void SetUp() override { asked = 0; }
    HRESULT Query(const InterfaceMapEntry* table, REFIID iid)
    {
        out_ = reinterpret_cast<void*>(1);
        return QueryInterfaceFromTable(&object_, table, iid, &out_);
    }

    TwoInterfaces object_;
    void* out_ = nullptr;
};

const InterfaceMapEntry kPositions[] = {
    {&kFirst, 0, VTL_POSITION_ROW},
    {&kSecond, sizeof(CountingInterface), VTL_POSITION_ROW},
    {nullptr, 0, nullptr},
};

TEST_F(QueryInterfaceFromTableTest, PositionRowsHandOutTheirInterfaceWithOneAddRef)
{
    EXPECT_EQ(S_OK, Query(kPositions, kSecond));
    EXPECT_EQ(&object_.second, out_);
    EXPECT_EQ(1, object_.second.addRefs);

    // IUnknown is the first row's interface, whatever that row's identifier.
    EXPECT_EQ(S_OK, Query(kPositions, IID_IUnknown));
    EXPECT_EQ(&object_.first, out_);
    EXPECT_EQ(1, object_.first.addRefs);
}

TEST_F(QueryInterfaceFromTableTest, UnknownIdentifierAndNullOutPointer)
{
    EXPECT_EQ(E_NOINTERFACE, Query(kPositions, kOther));
    EXPECT_EQ(nullptr, out_);
    EXPECT_EQ(E_POINTER, QueryInterfaceFromTable(&object_, kPositions, kFirst, nullptr));
    EXPECT_EQ(0, object_.first.addRefs + object_.second.addRefs);
}

TEST_F(QueryInterfaceFromTableTest, FunctionRowWithIdentifierStopsAtItsFailure)
{
    const InterfaceMapEntry table[] = {
        {&kFirst, 0, VTL_POSITION_ROW},
        {&kAnswered, As(E_ACCESSDENIED), Answer},
        {&kAnswered, sizeof(CountingInterface), VTL_POSITION_ROW},
        {nullptr, 0, nullptr},
    };
    EXPECT_EQ(E_ACCESSDENIED, Query(table, kAnswered));
    EXPECT_EQ(1, asked);
    EXPECT_EQ(0, object_.second.addRefs);
}

TEST_F(QueryInterfaceFromTableTest, FunctionRowWithIdentifierGoesOnAfterOtherSuccess)
{
    const InterfaceMapEntry table[] = {
        {&kFirst, 0, VTL_POSITION_ROW},
        {&kAnswered, As(S_FALSE), Answer},
        {&kAnswered, As(S_OK), Answer},
        {nullptr, 0, nullptr},
    };
    EXPECT_EQ(S_OK, Query(table, kAnswered));
    EXPECT_EQ(2, asked);
    EXPECT_EQ(&object_.second, out_);
}

TEST_F(QueryInterfaceFromTableTest, FunctionRowWithoutIdentifierIsTriedForAllAndGoesOnAfterAnyFailure)
{
    const InterfaceMapEntry table[] = {
        {&kFirst, 0, VTL_POSITION_ROW},
        {nullptr, As(E_FAIL), Answer},
        {nullptr, As(S_FALSE), Answer},
        {&kSecond, sizeof(CountingInterface), VTL_POSITION_ROW},
        {nullptr, As(S_OK), Answer},
        {nullptr, As(E_UNEXPECTED), Answer},  // never reached
        {nullptr, 0, nullptr},
    };
    EXPECT_EQ(S_OK, Query(table, kSecond));  // the position row answers after two misses
    EXPECT_EQ(2, asked);
    EXPECT_EQ(1, object_.second.addRefs);

    asked = 0;
    EXPECT_EQ(S_OK, Query(table, kOther));  // the function row without identifier answers
    EXPECT_EQ(3, asked);

    const InterfaceMapEntry refusing[] = {
        {&kFirst, 0, VTL_POSITION_ROW},
        {nullptr, As(E_FAIL), Answer},
        {nullptr, 0, nullptr},
    };
    asked = 0;
    EXPECT_EQ(E_NOINTERFACE, Query(refusing, kOther));
    EXPECT_EQ(1, asked);
}

}  // namespace
