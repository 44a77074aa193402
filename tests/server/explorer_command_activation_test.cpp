// The Explorer command of the built DLL, reached as the shell reaches it: the DLL's own
// DllGetClassObject, the class factory of its row, and the platform's shell item arrays for
// real files. Each launch is compared with the classic entry's launch for the same files.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "built_files.h"
#include "com_apartment.h"
#include "drop_files.h"
#include "publisher.h"
#include "server/vtl_guids.h"
#include "shell_items.h"
#include "temp_folder.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

std::wstring CurrentDirectory()
{
    wchar_t directory[MAX_PATH * 2] = {};
    GetCurrentDirectoryW(ARRAYSIZE(directory), directory);
    return directory;
}

class BuiltExplorerCommand : public testing::Test {
protected:
    void SetUp() override
    {
        library_ = LoadLibraryW(BuiltDllPath().c_str());
        ASSERT_NE(nullptr, library_);
        getClassObject_ = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, "DllGetClassObject")));
        canUnloadNow_ = reinterpret_cast<CanUnloadNowFunction>(
            reinterpret_cast<void*>(GetProcAddress(library_, "DllCanUnloadNow")));
        ASSERT_TRUE(getClassObject_ && canUnloadNow_);
        ASSERT_TRUE(publisher_.Ready());
    }
    void TearDown() override
    {
        EXPECT_EQ(S_OK, canUnloadNow_()) << "something of the DLL is still alive";
        FreeLibrary(library_);
    }

    template <typename T>
    ComPtr<T> Create(REFCLSID clsid, REFIID iid)
    {
        ComPtr<IClassFactory> factory;
        ComPtr<T> object;
        EXPECT_EQ(S_OK, getClassObject_(clsid, IID_IClassFactory, factory.PutVoid()));
        if (factory) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, iid, object.PutVoid()));
        }
        return object;
    }
    ComPtr<IExplorerCommand> Command() { return Create<IExplorerCommand>(CLSID_VTLExplorerCommand, IID_IExplorerCommand); }

    EXPCMDSTATE StateFor(IShellItemArray* items)
    {
        EXPCMDSTATE state = 0xFF;
        EXPECT_EQ(S_OK, Command()->GetState(items, FALSE, &state));
        return state;
    }

    // The classic road for the same selection: Initialize with the data object, then
    // InvokeCommand with offset 0.
    HRESULT InvokeClassic(IDataObject* data)
    {
        ComPtr<IShellExtInit> init = Create<IShellExtInit>(CLSID_VTLShlExt, IID_IShellExtInit);
        ComPtr<IContextMenu> menu;
        if (!init || FAILED(init->Initialize(nullptr, data, nullptr)) ||
            FAILED(init.QueryInterface(IID_IContextMenu, menu))) {
            return E_FAIL;
        }
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(0);
        return menu->InvokeCommand(&info);
    }

    // Both roads launch once each; vtlpublish recorded both starts.
    void ExpectTheSameLaunch(IDataObject* data, IShellItemArray* items)
    {
        ASSERT_EQ(S_OK, InvokeClassic(data));
        ASSERT_EQ(S_OK, Command()->Invoke(items, nullptr));
        std::vector<PublishRecord> records = publisher_.WaitForRecords(2);
        ASSERT_EQ(2u, records.size());
        EXPECT_EQ(records[0].command, records[1].command);
        EXPECT_EQ(records[0].directory, records[1].directory);
        EXPECT_EQ(folder_.Path() + L"Vtl Pub", records[1].directory);
    }

    std::wstring Lowered(std::wstring text) const
    {
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
        return text;
    }

    ComApartment apartment_;
    TempFolder folder_{L"explorer command"};
    PublisherInstallation publisher_{folder_.Path() + L"Vtl Pub\\pub.exe"};
    HMODULE library_ = nullptr;
    GetClassObjectFunction getClassObject_ = nullptr;
    CanUnloadNowFunction canUnloadNow_ = nullptr;
};

TEST_F(BuiltExplorerCommand, ShownForImagesOnly)
{
    for (const wchar_t* name : {L"Beach.JPG", L"notes.txt", L"scan.tiff", L"clip.gif"}) {
        ASSERT_FALSE(folder_.MakeFile(name).empty());
    }
    auto items = [&](const std::vector<std::wstring>& names) {
        ComPtr<IShellItemArray> array = ShellItemsFromData(ShellDataObject(folder_.Path(), names).Get());
        EXPECT_TRUE(array);
        return array;
    };
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), StateFor(items({L"Beach.JPG", L"scan.tiff"}).Get()));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_HIDDEN), StateFor(items({L"notes.txt", L"clip.gif"}).Get()));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), StateFor(items({L"notes.txt", L"clip.gif", L"scan.tiff"}).Get()));
    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_HIDDEN), StateFor(nullptr));

    // The icon names the DLL itself.
    WCHAR* icon = nullptr;
    ASSERT_EQ(S_OK, Command()->GetIcon(nullptr, &icon));
    std::wstring reference = icon;
    CoTaskMemFree(icon);
    wchar_t loaded[MAX_PATH];
    GetModuleFileNameW(library_, loaded, MAX_PATH);
    EXPECT_EQ(std::wstring(loaded) + L",-202", reference);
}

TEST_F(BuiltExplorerCommand, InvokeLaunchesAsInvokeCommandDoes)
{
    for (const wchar_t* name : {L"Beach.JPG", L"notes.txt", L"alps.png"}) {
        ASSERT_FALSE(folder_.MakeFile(name).empty());
    }
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), {L"Beach.JPG", L"notes.txt", L"alps.png"});
    ComPtr<IShellItemArray> items = ShellItemsFromData(data.Get());
    ASSERT_TRUE(items);
    ExpectTheSameLaunch(data.Get(), items.Get());
    std::vector<PublishRecord> records = publisher_.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(publisher_.ExePath() + L" \"2008::" + Lowered(folder_.Path()) + L"::alps.png::beach.jpg::notes.txt\"",
              records[1].command);
}

TEST_F(BuiltExplorerCommand, SelectionFromTwoFoldersLaunchesAsInvokeCommandDoes)
{
    std::wstring other = folder_.MakeFolders(L"Archive 2019");
    ASSERT_FALSE(other.empty());
    std::vector<std::wstring> paths = {folder_.MakeFile(L"readme.txt"), folder_.MakeFile(L"Archive 2019\\Zebra.PNG")};
    ComPtr<IDataObject> data = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, paths);
    ComPtr<IShellItemArray> items = ShellItemsFromNames(paths);
    ASSERT_TRUE(items);
    ExpectTheSameLaunch(data.Get(), items.Get());
    std::vector<PublishRecord> records = publisher_.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(publisher_.ExePath() + L" \"2008::" + Lowered(other) + L"::zebra.png::readme.txt\"", records[1].command);
}

TEST_F(BuiltExplorerCommand, SelectionTooLargeForTheCommandLineStartsNothing)
{
    // Files with names of about 200 units (each path within 259) whose names alone, joined
    // by "::", pass 30,000 units.
    size_t nameUnits = std::min<size_t>(200, 255 - folder_.Path().size());
    std::wstring stem(nameUnits - 8, L'p');
    std::vector<std::wstring> names;
    for (size_t index = 0; names.size() * (nameUnits + 2) < 31000; ++index) {
        names.push_back(stem + std::to_wstring(1000 + index) + L".jpg");
        ASSERT_FALSE(folder_.MakeFile(names.back()).empty()) << names.back().size();
    }
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), names);
    ComPtr<IShellItemArray> items = ShellItemsFromData(data.Get());
    ASSERT_TRUE(items);
    DWORD count = 0;
    ASSERT_EQ(S_OK, items->GetCount(&count));
    ASSERT_EQ(names.size(), count);
    const std::wstring before = CurrentDirectory();

    EXPECT_EQ(static_cast<EXPCMDSTATE>(ECS_ENABLED), StateFor(items.Get()));
    EXPECT_EQ(E_INVALIDARG, Command()->Invoke(items.Get(), nullptr));
    EXPECT_EQ(E_INVALIDARG, InvokeClassic(data.Get()));  // the same code from the same road
    EXPECT_EQ(before, CurrentDirectory());
    Sleep(500);  // a process started by mistake would have written its record by now
    EXPECT_TRUE(publisher_.Records().empty());
}

}  // namespace
