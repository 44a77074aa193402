#include <gtest/gtest.h>

#include <objidl.h>

#include <string>
#include <vector>

#include "heap_usage.h"
#include "module_override.h"
#include "regscript/replacement_map.h"
#include "regscript/variable_expansion.h"
#include "runtime/module_heaps.h"

namespace {

// Watches the COM task allocator: counts live blocks and can make the n-th request fail.
class TaskAllocatorSpy : public IMallocSpy {
public:
    TaskAllocatorSpy() { EXPECT_EQ(S_OK, CoRegisterMallocSpy(this)); }
    ~TaskAllocatorSpy() { CoRevokeMallocSpy(); }

    int live = 0;
    int failAt = -1;  // requests (allocations and reallocations) to let through before failing

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = iid == IID_IUnknown || iid == IID_IMallocSpy ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return Pass() ? size : 0; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override
    {
        live += block != nullptr;
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override
    {
        live -= block != nullptr;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** request, BOOL) override
    {
        *request = block;
        return Pass() ? size : 0;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    bool Pass() { return failAt < 0 || failAt-- > 0; }
};

// A module record whose one heap cannot grow past 64 KiB. Exhaust fills it, then frees every
// fourth block, so that a small block can still be had while anything larger cannot.
class SmallHeapModule {
public:
    SmallHeapModule()
    {
        record_.destroyHeaps = true;
        StartModuleHeaps(record_, HeapSystemFacts{VER_PLATFORM_WIN32_NT, 6, 1, CreateSmallHeap});
    }
    ~SmallHeapModule()
    {
        for (void* block : fill_) {
            ModuleFree(block);
        }
        StopModuleHeaps(record_);
    }
    void Exhaust(bool leaveHoles)
    {
        while (void* block = ModuleAlloc(16)) {
            fill_.push_back(block);
        }
        for (size_t index = 0; leaveHoles && index < fill_.size(); index += 4) {
            ModuleFree(fill_[index]);
            fill_[index] = nullptr;
        }
    }
    int BusyBlocks() { return ::BusyBlocks(record_.privateHeap); }

private:
    static HANDLE WINAPI CreateSmallHeap(DWORD, SIZE_T, SIZE_T) { return HeapCreate(0, 0, 65536); }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    std::vector<void*> fill_;
};

TEST(ReplacementMapTest, FirstMatchWinsWithoutRegardToCase)
{
    ReplacementMap map;
    EXPECT_EQ(S_OK, map.Add(L"Module", L"first"));
    EXPECT_EQ(S_OK, map.Add(L"MODULE", L"second"));
    EXPECT_EQ(S_OK, map.Add(L"Other", L""));
    EXPECT_STREQ(L"first", map.Lookup(L"module"));
    EXPECT_STREQ(L"", map.Lookup(L"other"));
    EXPECT_EQ(nullptr, map.Lookup(L"Modul"));
    map.Clear();
    EXPECT_EQ(0, map.Count());
    EXPECT_EQ(nullptr, map.Lookup(L"Module"));
}

TEST(ReplacementMapTest, RoomDoublesFromTen)
{
    ReplacementMap map;
    EXPECT_EQ(10, map.Capacity());
    for (int index = 0; index < 21; ++index) {
        ASSERT_EQ(S_OK, map.Add(std::to_wstring(index).c_str(), std::to_wstring(-index).c_str()));
        EXPECT_EQ(index < 10 ? 10 : index < 20 ? 20 : 40, map.Capacity());
    }
    for (int index = 0; index < 21; ++index) {
        EXPECT_EQ(std::to_wstring(-index), map.Lookup(std::to_wstring(index).c_str()));
    }
}

TEST(ReplacementMapTest, FailedAdditionsLeaveTheMapAndLeakNothing)
{
    TaskAllocatorSpy spy;
    SmallHeapModule module;
    {
        ReplacementMap map;
        for (int index = 0; index < 10; ++index) {
            ASSERT_EQ(S_OK, map.Add(std::to_wstring(index).c_str(), L"v"));
        }
        module.Exhaust(true);
        int busy = module.BusyBlocks();
        EXPECT_EQ(E_OUTOFMEMORY, map.Add(L"grow", L"v"));  // the pair fits, the list cannot grow
        EXPECT_EQ(busy, module.BusyBlocks());
        EXPECT_EQ(20, spy.live);
        EXPECT_EQ(10, map.Count());
        EXPECT_EQ(nullptr, map.Lookup(L"grow"));

        map.Clear();
        for (int failAt : {0, 1}) {
            spy.failAt = failAt;
            EXPECT_EQ(E_OUTOFMEMORY, map.Add(L"name", L"value"));
            EXPECT_EQ(0, spy.live);
        }
        spy.failAt = -1;
    }
    SmallHeapModule full;
    full.Exhaust(false);
    ReplacementMap map;
    EXPECT_EQ(0, map.Capacity());
    EXPECT_EQ(E_OUTOFMEMORY, map.Add(L"name", L"value"));
    EXPECT_EQ(0, spy.live);
}

class ExpandVariablesTest : public testing::Test {
protected:
    void SetUp() override
    {
        map_.Add(L"Module", L"C:\\Bob''s\\m.dll");
        map_.Add(std::wstring(31, L'n').c_str(), L"31");
        map_.Add(std::wstring(32, L'n').c_str(), L"32");
        map_.Add(L"Percent", L"%Module%");
        map_.Add(L"Long", std::wstring(1000, L'L').c_str());
    }
    HRESULT Expand(const std::wstring& text, std::wstring& expanded)
    {
        WCHAR* result = reinterpret_cast<WCHAR*>(1);
        HRESULT status = ExpandVariables(reader_, text.c_str(), &result);
        expanded = result ? result : L"<null>";
        CoTaskMemFree(result);
        return status;
    }

    ReplacementMap map_;
    ScriptReader reader_ = {nullptr, &map_};
};

TEST_F(ExpandVariablesTest, ReplacesNamesAndDoubledPercents)
{
    struct Case {
        std::wstring text, expanded;
    };
    for (const Case& c : {Case{L"'%MODULE%'", L"'C:\\Bob''s\\m.dll'"}, {L"100%%", L"100%"},
                          {L"%%%module%%%", L"%C:\\Bob''s\\m.dll%"}, {L"", L""},
                          {L"[%" + std::wstring(31, L'N') + L"%]", L"[31]"},
                          {L"%Percent%", L"%Module%"}, {L"x%LONG%x", L"x" + std::wstring(1000, L'L') + L"x"}}) {
        std::wstring expanded;
        EXPECT_EQ(S_OK, Expand(c.text, expanded)) << c.text;
        EXPECT_EQ(c.expanded, expanded) << c.text;
    }
}

TEST_F(ExpandVariablesTest, BadVariablesFailAndHandBackNothing)
{
    struct Case {
        std::wstring text;
        HRESULT result;
    };
    for (const Case& c : {Case{L"%" + std::wstring(32, L'n') + L"%", E_FAIL},
                          {L"%" + std::wstring(40, L'n'), DISP_E_EXCEPTION},
                          {L"a %Module", DISP_E_EXCEPTION}, {L"%Unknown%", DISP_E_EXCEPTION},
                          {L"%Modul%", DISP_E_EXCEPTION}}) {
        std::wstring expanded;
        EXPECT_EQ(c.result, Expand(c.text, expanded)) << c.text;
        EXPECT_EQ(L"<null>", expanded) << c.text;
    }
}

TEST_F(ExpandVariablesTest, OutOfMemoryWhenTheBufferCannotBeHadOrGrown)
{
    TaskAllocatorSpy spy;
    for (int failAt : {0, 1, 3}) {  // the first block, its first growth, a later growth
        spy.failAt = failAt;
        std::wstring expanded;
        EXPECT_EQ(E_OUTOFMEMORY, Expand(L"%Long%", expanded)) << failAt;
        EXPECT_EQ(L"<null>", expanded);
        EXPECT_EQ(0, spy.live);
    }
}

}  // namespace
