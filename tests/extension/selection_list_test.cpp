#include <gtest/gtest.h>

#include <string>

#include "extension/selection_list.h"
#include "heap_usage.h"
#include "module_override.h"
#include "runtime/module_heaps.h"

namespace {

// A module record of the test's own, whose one heap the test can walk or cap.
class SelectionListTest : public testing::Test {
protected:
    void UseHeap(SIZE_T maximumSize)
    {
        record_.privateHeap = HeapCreate(0, 0, maximumSize);
        ASSERT_NE(nullptr, record_.privateHeap);
    }
    void TearDown() override
    {
        if (record_.privateHeap) {
            HeapDestroy(record_.privateHeap);
        }
    }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    SelectionList list_ = {};
};

TEST_F(SelectionListTest, ArrayGrowsOneTwoFourEightAndKeepsOrder)
{
    UseHeap(0);
    EXPECT_EQ(nullptr, list_.paths);
    EXPECT_EQ(0u, list_.Size());
    EXPECT_EQ(0u, list_.capacity);

    const UINT32 expectedCapacity[] = {1, 2, 4, 4, 8, 8, 8, 8, 16};
    for (UINT32 index = 0; index < 9; ++index) {
        const std::wstring path = L"C:\\" + std::wstring(index * 7, L'p');  // the text moves as it grows
        ASSERT_TRUE(list_.Append(path.c_str()));
        EXPECT_EQ(index + 1, list_.Size());
        EXPECT_EQ(expectedCapacity[index], list_.capacity);
    }
    for (UINT32 index = 0; index < 9; ++index) {
        EXPECT_EQ(L"C:\\" + std::wstring(index * 7, L'p'), list_.At(index));
    }
    list_.Destroy();
}

// Reserved first, as a capture reserves: each path costs its units, its terminator and one
// pointer, from two blocks in all.
TEST_F(SelectionListTest, ReservedPathsCostTheirOwnUnitsAndClearKeepsTheBlocks)
{
    UseHeap(0);
    ASSERT_TRUE(list_.Reserve(3, 9 + 9 + 18));
    for (const wchar_t* text : {L"C:\\a.jpg", L"C:\\b.txt", L"C:\\pictures\\c.png"}) {
        ASSERT_TRUE(list_.Append(text));
    }
    EXPECT_EQ(2, BusyBlocks(record_.privateHeap));
    EXPECT_EQ(36 * sizeof(WCHAR), HeapSize(record_.privateHeap, 0, list_.text));
    EXPECT_EQ(3 * sizeof(WCHAR*), HeapSize(record_.privateHeap, 0, list_.paths));

    WCHAR** array = list_.paths;
    list_.Clear();
    EXPECT_EQ(0u, list_.Size());
    EXPECT_EQ(2, BusyBlocks(record_.privateHeap));
    ASSERT_TRUE(list_.Append(L"C:\\c.png"));
    EXPECT_EQ(array, list_.paths);  // reused, not regrown

    list_.Destroy();
    EXPECT_EQ(nullptr, list_.paths);
    EXPECT_EQ(0u, list_.capacity);
    EXPECT_EQ(0, BusyBlocks(record_.privateHeap));
}

TEST_F(SelectionListTest, FailedGrowthLeavesTheListAsItWas)
{
    UseHeap(0);
    ASSERT_TRUE(list_.Append(L"C:\\a.jpg"));
    WCHAR** array = list_.paths;

    // No heap: neither block can grow.
    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;
    EXPECT_FALSE(list_.Append(L"C:\\b.jpg"));
    EXPECT_FALSE(list_.Reserve(1, 4096));
    record_.privateHeap = heap;

    EXPECT_EQ(1u, list_.Size());
    EXPECT_EQ(1u, list_.capacity);
    EXPECT_EQ(array, list_.paths);
    EXPECT_STREQ(L"C:\\a.jpg", list_.At(0));
    list_.Destroy();
    EXPECT_EQ(0, BusyBlocks(record_.privateHeap));
}

}  // namespace
