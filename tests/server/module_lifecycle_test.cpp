#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

#include "module_override.h"
#include "runtime/module_heaps.h"
#include "server/module_lifecycle.h"

namespace {

std::vector<std::string> events;
ModuleState* observed = nullptr;

const CLSID kFirstClass = {0x11111111, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const CLSID kSecondClass = {0x22222222, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};

void FirstHook(bool starting)
{
    // Hooks run at start-up before any heap exists.
    if (starting && observed->privateHeap) {
        events.push_back("heap before hook");
    }
    events.push_back(starting ? "first+" : "first-");
}

void SecondHook(bool starting)
{
    events.push_back(starting ? "second+" : "second-");
}

// A deleted critical section: the platform marks it free and drops its debug information.
bool LockDeleted(const CRITICAL_SECTION& section)
{
    return section.LockCount == -1 && section.DebugInfo == nullptr;
}

void RecordingCallback(void* argument)
{
    const char* name = static_cast<const char*>(argument);
    events.push_back(name);
    if (!LockDeleted(observed->generalLock) || !LockDeleted(observed->spareLock) ||
        !LockDeleted(observed->classObjectLock)) {
        events.push_back("locks alive");
    }
    if (!observed->privateHeap || !HeapValidate(observed->privateHeap, 0, nullptr)) {
        events.push_back("heap gone");
    }
}

// A class factory stand-in that counts its releases.
struct CountingUnknown : IUnknown {
    int releases = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ++releases;
        return 1;
    }
};

class ModuleLifecycleTest : public testing::Test {
protected:
    void SetUp() override
    {
        events.clear();
        observed = &record_;
        table_[0] = ClassObjectEntry{&kFirstClass, nullptr, nullptr, nullptr, nullptr, 0,
                                     nullptr, nullptr, FirstHook};
        table_[1] = ClassObjectEntry{&kSecondClass, nullptr, nullptr, nullptr, nullptr, 0,
                                     nullptr, nullptr, SecondHook};
        table_[2] = ClassObjectEntry{};
    }

    ModuleState record_ = {};
    ModuleOverride override_{record_};
    ClassObjectEntry table_[3] = {};
};

TEST_F(ModuleLifecycleTest, InitModuleFillsTheRecord)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_EQ(S_OK, InitModule(&record_, table_, instance));

    EXPECT_EQ(&record_, theModule);
    EXPECT_EQ(132u, record_.size);
    EXPECT_EQ(768u, record_.frameVersion);
    EXPECT_EQ(instance, record_.instance);
    EXPECT_EQ(instance, record_.resourceInstance);
    EXPECT_EQ(instance, record_.typeLibInstance);
    EXPECT_EQ(table_, record_.classTable);
    EXPECT_EQ(0, record_.lockCount);
    EXPECT_NE(nullptr, record_.privateHeap);
    EXPECT_TRUE(record_.destroyHeaps);
    EXPECT_NE(nullptr, record_.versionId);
    EXPECT_EQ(nullptr, record_.spareList);
    EXPECT_EQ(nullptr, record_.exitCallbacks);
    EXPECT_EQ(nullptr, record_.heapArray);  // the platform is NT 5 or later
    EXPECT_EQ(0u, record_.heapCursor);
    EXPECT_EQ((std::vector<std::string>{"first+", "second+"}), events);

    EXPECT_EQ(S_OK, TermModule(&record_));
}

TEST_F(ModuleLifecycleTest, TearDownOrder)
{
    ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
    ASSERT_EQ(S_OK, AddExitCallback(&record_, RecordingCallback, const_cast<char*>("A")));
    ASSERT_EQ(S_OK, AddExitCallback(&record_, RecordingCallback, const_cast<char*>("B")));
    events.clear();

    EXPECT_EQ(S_OK, TermModule(&record_));

    // Hooks with false, then the callbacks newest first, with the locks already deleted and
    // the heap still alive.
    EXPECT_EQ((std::vector<std::string>{"first-", "second-", "B", "A"}), events);
    EXPECT_EQ(nullptr, record_.exitCallbacks);
}

TEST_F(ModuleLifecycleTest, TearDownReleasesCachedFactoryOnce)
{
    ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
    CountingUnknown factory;
    table_[1].factory = &factory;

    EXPECT_EQ(S_OK, TermModule(&record_));

    EXPECT_EQ(1, factory.releases);
    EXPECT_EQ(nullptr, table_[1].factory);
    EXPECT_EQ(nullptr, table_[0].factory);
}

TEST_F(ModuleLifecycleTest, ModuleWithoutTableOrRecord)
{
    EXPECT_EQ(E_INVALIDARG, TermModule(nullptr));
    EXPECT_EQ(E_INVALIDARG, InitModule(nullptr, table_, nullptr));
    ASSERT_EQ(S_OK, InitModule(&record_, nullptr, GetModuleHandleW(nullptr)));
    EXPECT_EQ(S_OK, TermModule(&record_));
}

TEST_F(ModuleLifecycleTest, ExitCallbackWithoutMemoryLeavesListAsItWas)
{
    ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
    ASSERT_EQ(S_OK, AddExitCallback(&record_, RecordingCallback, const_cast<char*>("A")));
    ExitCallbackNode* head = record_.exitCallbacks;

    // No heap: the node cannot be allocated.
    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;
    EXPECT_EQ(E_OUTOFMEMORY, AddExitCallback(&record_, RecordingCallback, const_cast<char*>("B")));
    record_.privateHeap = heap;

    EXPECT_EQ(head, record_.exitCallbacks);
    EXPECT_EQ(nullptr, head->next);
    events.clear();
    EXPECT_EQ(S_OK, TermModule(&record_));
    EXPECT_EQ((std::vector<std::string>{"first-", "second-", "A"}), events);
}

TEST_F(ModuleLifecycleTest, CanUnloadNowFollowsLockCount)
{
    ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
    EXPECT_EQ(S_OK, ModuleCanUnloadNow(theModule));
    InterlockedIncrement(&record_.lockCount);
    EXPECT_EQ(S_FALSE, ModuleCanUnloadNow(theModule));
    InterlockedDecrement(&record_.lockCount);
    EXPECT_EQ(S_OK, ModuleCanUnloadNow(theModule));
    EXPECT_EQ(S_OK, TermModule(&record_));
}

}  // namespace
