#include <gtest/gtest.h>

#include "extension/selection_list.h"
#include "heap_usage.h"
#include "module_override.h"
#include "runtime/module_heaps.h"

namespace {

WCHAR* PathWith(const wchar_t* text)
{
    WCHAR* path = PathBufferAlloc();
    lstrcpyW(path, text);
    return path;
}

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
        WCHAR* path = PathWith(std::to_wstring(index).c_str());
        ASSERT_TRUE(list_.Append(path));
        EXPECT_EQ(index + 1, list_.Size());
        EXPECT_EQ(expectedCapacity[index], list_.capacity);
        EXPECT_EQ(path, list_.At(index));
        EXPECT_EQ(520u, HeapSize(record_.privateHeap, 0, path));  // 260 units from the module heap
    }
    for (UINT32 index = 0; index < 9; ++index) {
        EXPECT_STREQ(std::to_wstring(index).c_str(), list_.At(index));
    }
    list_.Destroy();
}

TEST_F(SelectionListTest, ClearKeepsTheArrayDestroyFreesEverything)
{
    UseHeap(0);
    for (const wchar_t* text : {L"C:\\a.jpg", L"C:\\b.txt", L"C:\\a.jpg"}) {
        ASSERT_TRUE(list_.Append(PathWith(text)));
    }
    EXPECT_EQ(4, BusyBlocks(record_.privateHeap));  // three buffers and the array

    WCHAR** array = list_.paths;
    list_.Clear();
    EXPECT_EQ(0u, list_.Size());
    EXPECT_EQ(4u, list_.capacity);
    EXPECT_EQ(array, list_.paths);
    EXPECT_EQ(1, BusyBlocks(record_.privateHeap));

    ASSERT_TRUE(list_.Append(PathWith(L"C:\\c.png")));
    EXPECT_EQ(array, list_.paths);  // reused, not regrown

    list_.Destroy();
    EXPECT_EQ(nullptr, list_.paths);
    EXPECT_EQ(0u, list_.Size());
    EXPECT_EQ(0u, list_.capacity);
    EXPECT_EQ(0, BusyBlocks(record_.privateHeap));
}

TEST_F(SelectionListTest, FailedGrowthLeavesTheListAsItWas)
{
    UseHeap(0);
    ASSERT_TRUE(list_.Append(PathWith(L"C:\\a.jpg")));
    WCHAR* spare = PathWith(L"C:\\b.jpg");
    WCHAR** array = list_.paths;

    // No heap: the array cannot grow to 2 entries.
    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;
    EXPECT_FALSE(list_.Append(spare));
    record_.privateHeap = heap;

    EXPECT_EQ(1u, list_.Size());
    EXPECT_EQ(1u, list_.capacity);
    EXPECT_EQ(array, list_.paths);
    EXPECT_STREQ(L"C:\\a.jpg", list_.At(0));
    ModuleFree(spare);  // still the caller's
    list_.Destroy();
    EXPECT_EQ(0, BusyBlocks(record_.privateHeap));
}

}  // namespace
