// The VTLExplorerCommand object on a module record of the test's own, served by the class
// table's own row through the class factory, so that its lock count and heap can be watched.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "com_apartment.h"
#include "drop_files.h"
#include "extension/explorer_command_entry.h"
#include "extension/menu_entry.h"
#include "heap_usage.h"
#include "module_override.h"
#include "publisher.h"
#include "server/class_factory.h"
#include "server/module_lifecycle.h"
#include "server/vtl_explorer_command.h"
#include "server/vtl_guids.h"
#include "shell_items.h"
#include "temp_folder.h"

namespace {

const ClassObjectEntry* ExplorerCommandRow()
{
    for (const ClassObjectEntry* row = vtlMenuClassTable; row->clsid; ++row) {
        if (IsEqualCLSID(*row->clsid, CLSID_VTLExplorerCommand)) {
            return row;
        }
    }
    return nullptr;
}

class ExplorerCommandObject : public testing::Test {
protected:
    void SetUp() override
    {
        const ClassObjectEntry* row = ExplorerCommandRow();
        ASSERT_NE(nullptr, row);
        table_[0] = *row;
        table_[0].factory = nullptr;
        ASSERT_EQ(S_OK, InitModule(&record_, table_, GetModuleHandleW(nullptr)));
        ASSERT_EQ(S_OK, GetClassObjectFromTable(&record_, CLSID_VTLExplorerCommand, IID_IClassFactory,
                                                factory_.PutVoid()));
        baseline_ = BusyBlocks(record_.privateHeap);
    }
    void TearDown() override
    {
        factory_.Reset();
        EXPECT_EQ(0, record_.lockCount);
        EXPECT_EQ(baseline_, BusyBlocks(record_.privateHeap)) << "the object left memory behind";
        TermModule(&record_);
    }

    ComPtr<IExplorerCommand> Create()
    {
        ComPtr<IExplorerCommand> command;
        EXPECT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IExplorerCommand, command.PutVoid()));
        return command;
    }

    ComApartment apartment_;
    ClassObjectEntry table_[2] = {};
    ModuleState record_ = {};
    ModuleOverride override_{record_};
    ComPtr<IClassFactory> factory_;
    int baseline_ = 0;
};

TEST_F(ExplorerCommandObject, OneInterfaceOneIdentityOneLockCount)
{
    EXPECT_EQ(CreateClassFactory, table_[0].createFactory);
    EXPECT_EQ(CreateVTLExplorerCommand, table_[0].createInstance);
    EXPECT_EQ(1, record_.lockCount);  // the client's reference on the factory

    ComPtr<IExplorerCommand> command = Create();
    ASSERT_TRUE(command);
    auto* object = reinterpret_cast<VTLExplorerCommandObject*>(command.Get());
    EXPECT_EQ(1, object->refCount);
    EXPECT_EQ(2, record_.lockCount);

    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, command.QueryInterface(IID_IUnknown, identity));
    EXPECT_EQ(static_cast<void*>(command.Get()), identity.Get());
    EXPECT_EQ(2, object->refCount);
    for (const IID* other : {&IID_IContextMenu, &IID_IShellExtInit, &IID_IDispatch, &IID_IClassFactory}) {
        void* out = &out;
        EXPECT_EQ(E_NOINTERFACE, command->QueryInterface(*other, &out));
        EXPECT_EQ(nullptr, out);
    }
    EXPECT_EQ(E_POINTER, command->QueryInterface(IID_IExplorerCommand, nullptr));

    identity.Reset();
    EXPECT_EQ(0u, command.Detach()->Release());
    EXPECT_EQ(1, record_.lockCount);
}

// A controlling object that would aggregate the command.
struct Outer : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(ExplorerCommandObject, RefusedCreationsLeaveNothing)
{
    Outer outer;
    void* out = &out;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory_->CreateInstance(&outer, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    out = &out;
    EXPECT_EQ(E_NOINTERFACE, factory_->CreateInstance(nullptr, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(E_POINTER, CreateVTLExplorerCommand(nullptr, IID_IUnknown, nullptr));

    HANDLE heap = record_.privateHeap;
    record_.privateHeap = nullptr;  // every allocation fails
    out = &out;
    EXPECT_EQ(E_OUTOFMEMORY, CreateVTLExplorerCommand(nullptr, IID_IUnknown, &out));
    record_.privateHeap = heap;
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, record_.lockCount);
}

TEST_F(ExplorerCommandObject, DescribesItselfWithoutASelection)
{
    ComPtr<IExplorerCommand> command = Create();
    ASSERT_TRUE(command);

    WCHAR* text = nullptr;
    ASSERT_EQ(S_OK, command->GetTitle(nullptr, &text));
    EXPECT_STREQ(kMenuEntryText + 1, text);  // the classic entry's text without its access key
    EXPECT_STREQ(L"Publish with Vantorel", text);
    CoTaskMemFree(text);

    // The icon reference names this program, whose module record this is, and resolves to
    // the icon at both sizes.
    text = nullptr;
    ASSERT_EQ(S_OK, command->GetIcon(nullptr, &text));
    std::wstring reference = text;
    CoTaskMemFree(text);
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    EXPECT_EQ(std::wstring(program) + L",-202", reference);
    HICON large = nullptr;
    HICON small = nullptr;
    ASSERT_EQ(2u, ExtractIconExW(program, -202, &large, &small, 1));
    for (auto [icon, size] : {std::pair{large, 32}, std::pair{small, 16}}) {
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP mask = {};
        GetObjectW(info.hbmMask, sizeof(mask), &mask);
        EXPECT_EQ(size, mask.bmWidth);
        DeleteObject(info.hbmMask);
        DeleteObject(info.hbmColor);
        DestroyIcon(icon);
    }

    text = &program[0];
    EXPECT_EQ(E_NOTIMPL, command->GetToolTip(nullptr, &text));
    EXPECT_EQ(nullptr, text);
    GUID name = {};
    EXPECT_EQ(S_OK, command->GetCanonicalName(&name));
    EXPECT_EQ(kExplorerCommandCanonicalName, name);
    EXPECT_FALSE(IsEqualGUID(CLSID_VTLExplorerCommand, name));
    EXPECT_FALSE(IsEqualGUID(CLSID_VTLShlExt, name));
    EXPCMDFLAGS flags = 0xFFFF;
    EXPECT_EQ(S_OK, command->GetFlags(&flags));
    EXPECT_EQ(static_cast<EXPCMDFLAGS>(ECF_DEFAULT), flags);
    IEnumExplorerCommand* commands = reinterpret_cast<IEnumExplorerCommand*>(&flags);
    EXPECT_EQ(E_NOTIMPL, command->EnumSubCommands(&commands));
    EXPECT_EQ(nullptr, commands);

    // No out pointer, no answer.
    EXPECT_EQ(E_POINTER, command->GetTitle(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetIcon(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetToolTip(nullptr, nullptr));
    EXPECT_EQ(E_POINTER, command->GetCanonicalName(nullptr));
    EXPECT_EQ(E_POINTER, command->GetState(nullptr, FALSE, nullptr));
    EXPECT_EQ(E_POINTER, command->GetFlags(nullptr));
    EXPECT_EQ(E_POINTER, command->EnumSubCommands(nullptr));
}

// Items without a file-system path are passed over: they neither show the command nor reach
// the application, and a selection of nothing else starts nothing.
TEST_F(ExplorerCommandObject, ItemsWithoutAFileSystemPathArePassedOver)
{
    TempFolder folder(L"explorer command items");
    ASSERT_FALSE(folder.MakeFile(L"Sunset.PNG").empty());
    PublisherInstallation publisher(folder.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    ComPtr<IExplorerCommand> command = Create();
    ASSERT_TRUE(command);

    ComPtr<IShellItemArray> computer = ShellItemsFromNames({kComputerFolder});
    ASSERT_TRUE(computer);
    EXPCMDSTATE state = ECS_ENABLED;
    EXPECT_EQ(S_OK, command->GetState(computer.Get(), FALSE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_HIDDEN), state);
    EXPECT_EQ(E_INVALIDARG, command->Invoke(computer.Get(), nullptr));
    state = ECS_ENABLED;
    EXPECT_EQ(S_OK, command->GetState(nullptr, TRUE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_HIDDEN), state);
    EXPECT_EQ(E_INVALIDARG, command->Invoke(nullptr, nullptr));

    ComPtr<IShellItemArray> mixed = ShellItemsFromNames({kComputerFolder, folder.Path() + L"Sunset.PNG"});
    ASSERT_TRUE(mixed);
    EXPECT_EQ(S_OK, command->GetState(mixed.Get(), FALSE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), state);
    ASSERT_EQ(S_OK, command->Invoke(mixed.Get(), nullptr));
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    std::wstring lowered = folder.Path();
    CharLowerBuffW(&lowered[0], static_cast<DWORD>(lowered.size()));
    EXPECT_EQ(publisher.ExePath() + L" \"2008::" + lowered + L"::sunset.png\"", records[0].command);
}

// The platform here cannot parse paths beyond 259 units, so a hand-made array carries them:
// a path that fits its 260-unit buffer is launched whole, one unit more hides the command and
// is refused, starting nothing (cut, it would name another file).
TEST_F(ExplorerCommandObject, PathThatDoesNotFitItsBufferHidesTheCommandAndStartsNothing)
{
    TempFolder folder(L"explorer command lengths");
    PublisherInstallation publisher(folder.Path() + L"pub\\pub.exe");
    ASSERT_TRUE(publisher.Ready());
    ComPtr<IExplorerCommand> command = Create();
    ASSERT_TRUE(command);
    auto pathOf = [](size_t units) {
        std::wstring head = L"C:\\pictures\\";
        return head + std::wstring(units - head.size() - 4, L'n') + L".jpg";
    };
    const std::wstring before = [] {
        wchar_t directory[MAX_PATH * 2] = {};
        GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
        return std::wstring(directory);
    }();

    ComPtr<IShellItemArray> tooLong = HandMadeShellItems({pathOf(260), L"C:\\pictures\\a.jpg"});
    EXPCMDSTATE state = ECS_ENABLED;
    EXPECT_EQ(S_OK, command->GetState(tooLong.Get(), FALSE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_HIDDEN), state);
    EXPECT_EQ(E_INVALIDARG, command->Invoke(tooLong.Get(), nullptr));
    // An item that cannot be read: the command shows for the image before it, and Invoke fails
    // with the item's own failure, publishing nothing.
    ComPtr<IShellItemArray> unreadable = HandMadeShellItems({L"C:\\pictures\\a.jpg", L"?"});
    EXPECT_EQ(S_OK, command->GetState(unreadable.Get(), FALSE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), state);
    EXPECT_EQ(E_OUTOFMEMORY, command->Invoke(unreadable.Get(), nullptr));
    wchar_t directory[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    EXPECT_EQ(before, directory);

    ComPtr<IShellItemArray> longest = HandMadeShellItems({L"", pathOf(259)});
    EXPECT_EQ(S_OK, command->GetState(longest.Get(), FALSE, &state));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), state);
    ASSERT_EQ(S_OK, command->Invoke(longest.Get(), nullptr));
    std::vector<PublishRecord> records = publisher.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());  // the refused selection started nothing
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    EXPECT_EQ(before, directory) << "a launch leaves the host's directory alone";
    EXPECT_EQ(publisher.ExePath() + L" \"2008::c:\\pictures\\::" + pathOf(259).substr(12) + L"\"",
              records[0].command);
}

}  // namespace
