#include <gtest/gtest.h>

#include <vector>

#include "heap_usage.h"
#include "module_override.h"
#include "runtime/module_heaps.h"

namespace {

constexpr DWORD kNt = VER_PLATFORM_WIN32_NT;

HeapSystemFacts Facts(DWORD platformId, DWORD majorVersion, DWORD processors)
{
    return HeapSystemFacts{platformId, majorVersion, processors, HeapCreate};
}

HANDLE HeapOfBlock(void* block)
{
    return *reinterpret_cast<HANDLE*>(static_cast<BYTE*>(block) - 8);
}

// A record of the test's own, brought up with the given facts and reached as theModule.
class ModuleHeapsTest : public testing::Test {
protected:
    void Start(const HeapSystemFacts& facts)
    {
        record_.destroyHeaps = true;
        StartModuleHeaps(record_, facts);
    }
    void TearDown() override { StopModuleHeaps(record_); }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
};

TEST_F(ModuleHeapsTest, SetSizeFollowsProcessorCountBeforeNt5)
{
    struct Case {
        DWORD processors;
        UINT32 mask;
    };
    for (Case c : {Case{2, 3}, {3, 3}, {4, 7}, {7, 7}, {8, 15}, {15, 15}, {16, 31}}) {
        ModuleState record = {};
        StartModuleHeaps(record, Facts(kNt, 4, c.processors));
        EXPECT_NE(nullptr, record.privateHeap);
        ASSERT_NE(nullptr, record.heapArray) << c.processors << " processors";
        EXPECT_EQ(c.mask, record.heapMask) << c.processors << " processors";
        EXPECT_EQ(c.mask, RoundRobinHeapMask(c.processors));
        for (UINT32 index = 0; index <= record.heapMask; ++index) {
            EXPECT_NE(nullptr, record.heapArray[index]);
        }
        record.destroyHeaps = true;
        StopModuleHeaps(record);
    }
}

TEST_F(ModuleHeapsTest, OneHeapOnNt5AndLaterOrOnOneProcessor)
{
    struct Case {
        DWORD platform, major, processors;
    };
    for (Case c : {Case{kNt, 4, 1}, {kNt, 5, 2}, {kNt, 5, 16}, {kNt, 6, 8}, {kNt, 10, 1},
                   {VER_PLATFORM_WIN32_WINDOWS, 4, 0}}) {
        ModuleState record = {};
        StartModuleHeaps(record, Facts(c.platform, c.major, c.processors));
        EXPECT_NE(nullptr, record.privateHeap);
        EXPECT_EQ(nullptr, record.heapArray);
        EXPECT_EQ(0u, record.heapMask);
        record.destroyHeaps = true;
        StopModuleHeaps(record);
    }
}

TEST_F(ModuleHeapsTest, ClearedVersionRecordLetsProcessorCountDecide)
{
    // What a failed version query leaves: platform 0, version 0.
    Start(Facts(0, 0, 2));
    ASSERT_NE(nullptr, record_.heapArray);
    EXPECT_EQ(3u, record_.heapMask);
}

TEST_F(ModuleHeapsTest, SingleHeapBlocksHaveNoHeader)
{
    Start(Facts(kNt, 6, 2));
    void* block = ModuleAlloc(24);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(24u, HeapSize(record_.privateHeap, 0, block));

    void* grown = ModuleRealloc(block, 4000);
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(4000u, HeapSize(record_.privateHeap, 0, grown));

    void* empty = ModuleAlloc(0);
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, HeapSize(record_.privateHeap, 0, empty));

    EXPECT_EQ(2, BusyBlocks(record_.privateHeap));
    ModuleFree(grown);
    ModuleFree(empty);
    ModuleFree(nullptr);
    EXPECT_EQ(0, BusyBlocks(record_.privateHeap));
}

TEST_F(ModuleHeapsTest, RoundRobinTakesHeapsInTurn)
{
    Start(Facts(kNt, 4, 2));
    ASSERT_EQ(3u, record_.heapMask);
    std::vector<void*> blocks;
    for (UINT32 expected : {0u, 1u, 2u, 3u, 0u, 1u}) {
        void* block = ModuleAlloc(16);
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(record_.heapArray[expected], HeapOfBlock(block));
        EXPECT_EQ(16u + 8u, HeapSize(record_.heapArray[expected], 0, static_cast<BYTE*>(block) - 8));
        blocks.push_back(block);
    }
    for (void* block : blocks) {
        ModuleFree(block);
    }
    for (UINT32 index = 0; index <= record_.heapMask; ++index) {
        EXPECT_EQ(0, BusyBlocks(record_.heapArray[index]));
    }
}

TEST_F(ModuleHeapsTest, BlockStaysInItsHeapWhateverTheCursor)
{
    Start(Facts(kNt, 4, 2));
    record_.heapCursor = 2;
    auto* block = static_cast<char*>(ModuleAlloc(8));
    ASSERT_NE(nullptr, block);
    HANDLE heap2 = record_.heapArray[2];
    ASSERT_EQ(heap2, HeapOfBlock(block));
    lstrcpyA(block, "kept");

    // The cursor now points at heap 3; resizing and freeing still go to heap 2.
    auto* grown = static_cast<char*>(ModuleRealloc(block, 100000));
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(heap2, HeapOfBlock(grown));
    EXPECT_STREQ("kept", grown);
    EXPECT_EQ(1, BusyBlocks(heap2));
    EXPECT_EQ(3u, record_.heapCursor);  // a resize takes no turn

    ModuleFree(grown);
    EXPECT_EQ(0, BusyBlocks(heap2));
}

TEST_F(ModuleHeapsTest, RoundRobinNullReallocAndZeroBytes)
{
    Start(Facts(kNt, 4, 2));
    void* first = ModuleRealloc(nullptr, 0);  // as ModuleAlloc: takes heap 0, header only
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(record_.heapArray[0], HeapOfBlock(first));
    EXPECT_EQ(8u, HeapSize(record_.heapArray[0], 0, static_cast<BYTE*>(first) - 8));
    void* second = ModuleAlloc(0);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(record_.heapArray[1], HeapOfBlock(second));
    ModuleFree(first);
    ModuleFree(second);
}

TEST_F(ModuleHeapsTest, OversizedRequestsFailWithoutWrapping)
{
    Start(Facts(kNt, 4, 2));
    EXPECT_EQ(nullptr, ModuleAlloc(static_cast<SIZE_T>(-4)));
    void* block = ModuleAlloc(4);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(nullptr, ModuleRealloc(block, static_cast<SIZE_T>(-4)));
    ModuleFree(block);  // still valid after the refused resize
}

// Heap creation that fails at the given call (1-based), counting every call.
int heapCreations = 0;
int failingCreation = 0;
HANDLE WINAPI FailingHeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize)
{
    return ++heapCreations == failingCreation ? nullptr
                                              : HeapCreate(options, initialSize, maximumSize);
}

void ExpectEveryAllocationFails()
{
    EXPECT_EQ(nullptr, ModuleAlloc(16));
    EXPECT_EQ(nullptr, ModuleAlloc(0));
    EXPECT_EQ(nullptr, ModuleRealloc(nullptr, 16));
    ModuleFree(nullptr);
}

TEST_F(ModuleHeapsTest, MissingPrivateHeapFailsEveryAllocation)
{
    heapCreations = 0;
    failingCreation = 1;
    Start(HeapSystemFacts{kNt, 6, 1, FailingHeapCreate});
    EXPECT_EQ(nullptr, record_.privateHeap);
    ExpectEveryAllocationFails();
}

TEST_F(ModuleHeapsTest, MissingHeapOfTheSetFailsEveryAllocation)
{
    heapCreations = 0;
    failingCreation = 3;  // the private heap, heap 0, then heap 1 fails
    Start(HeapSystemFacts{kNt, 4, 2, FailingHeapCreate});
    EXPECT_EQ(nullptr, record_.privateHeap);
    EXPECT_EQ(nullptr, record_.heapArray);
    ExpectEveryAllocationFails();
}

LONG heapsCreated = 0;
HANDLE WINAPI CountedHeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize)
{
    ++heapsCreated;
    return HeapCreate(options, initialSize, maximumSize);
}

TEST_F(ModuleHeapsTest, MissingHeapArrayFailsEveryAllocation)
{
    // A set of 2^31 heaps cannot be had. In the 32-bit build its array's byte count would wrap
    // to 0, and the guard refuses it before any heap of the set is made; in the 64-bit build
    // the array may be granted, and the set fails when the platform refuses a heap.
    heapsCreated = 0;
    Start(HeapSystemFacts{kNt, 4, 0x40000000, CountedHeapCreate});
    EXPECT_EQ(nullptr, record_.heapArray);
    if (sizeof(SIZE_T) == 4) {
        EXPECT_EQ(1, heapsCreated) << "only the private heap was created";
    }
    ExpectEveryAllocationFails();
}

TEST_F(ModuleHeapsTest, ShutDownKeepsHeapsUnlessAsked)
{
    Start(Facts(kNt, 6, 1));
    HANDLE heap = record_.privateHeap;
    record_.destroyHeaps = false;
    StopModuleHeaps(record_);
    EXPECT_EQ(heap, record_.privateHeap);
    EXPECT_TRUE(HeapValidate(heap, 0, nullptr));
    record_.destroyHeaps = true;
}

}  // namespace
