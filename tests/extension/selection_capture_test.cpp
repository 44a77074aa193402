#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <shlobj.h>

#include "com_apartment.h"
#include "drop_files.h"
#include "extension/selection_capture.h"
#include "heap_usage.h"
#include "module_override.h"
#include "temp_folder.h"

namespace {

std::vector<std::wstring> Paths(const SelectionList& list)
{
    std::vector<std::wstring> paths;
    for (UINT32 index = 0; index < list.Size(); ++index) {
        paths.push_back(list.At(index));
    }
    return paths;
}

class CaptureSelection : public testing::Test {
protected:
    void TearDown() override { list_.Destroy(); }

    ComApartment apartment_;
    TempFolder folder_{L"capture"};
    SelectionList list_ = {};
};

TEST_F(CaptureSelection, KeepsEveryPathOfTheShellsSelectionInItsOrder)
{
    ASSERT_EQ(S_OK, apartment_.Result());
    std::wstring notes = folder_.MakeFile(L"notes.txt");
    std::wstring photo = folder_.MakeFile(L"PHOTO.JPG");
    std::wstring sheet = folder_.MakeFile(L"budget.xls");
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), {L"notes.txt", L"PHOTO.JPG", L"budget.xls"});
    ASSERT_TRUE(data);

    EXPECT_EQ(S_OK, ::CaptureSelection(list_, data.Get()));
    EXPECT_EQ((std::vector<std::wstring>{notes, photo, sheet}), Paths(list_));
}

TEST_F(CaptureSelection, SamePathTwiceGivesTwoEntries)
{
    std::wstring photo = folder_.MakeFile(L"a.png");
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), {L"a.png", L"a.png"});
    ASSERT_TRUE(data);

    EXPECT_EQ(S_OK, ::CaptureSelection(list_, data.Get()));
    EXPECT_EQ((std::vector<std::wstring>{photo, photo}), Paths(list_));
}

TEST_F(CaptureSelection, SecondSelectionReplacesTheFirst)
{
    std::wstring first = folder_.MakeFile(L"first.jpg");
    std::wstring second = folder_.MakeFile(L"sub\\second.txt");
    std::wstring third = folder_.MakeFile(L"sub\\third.tif");
    ComPtr<IDataObject> one = ShellDataObject(folder_.Path(), {L"first.jpg"});
    ComPtr<IDataObject> two = ShellDataObject(folder_.Path() + L"sub", {L"third.tif", L"second.txt"});
    ASSERT_TRUE(one && two);

    ASSERT_EQ(S_OK, ::CaptureSelection(list_, one.Get()));
    EXPECT_EQ(S_OK, ::CaptureSelection(list_, two.Get()));
    EXPECT_EQ((std::vector<std::wstring>{third, second}), Paths(list_));
}

TEST_F(CaptureSelection, RefusedCallsKeepTheSelection)
{
    std::wstring photo = folder_.MakeFile(L"kept.bmp");
    ComPtr<IDataObject> data = ShellDataObject(folder_.Path(), {L"kept.bmp"});
    ASSERT_TRUE(data);
    ASSERT_EQ(S_OK, ::CaptureSelection(list_, data.Get()));

    EXPECT_EQ(E_INVALIDARG, ::CaptureSelection(list_, nullptr));
    using Offer = HandMadeDataObject::Offer;
    for (Offer offer : {Offer::kNoDropList, Offer::kUnlockable, Offer::kNoGlobalMemory}) {
        HandMadeDataObject* object = nullptr;
        ComPtr<IDataObject> refused = HandMadeDataObject::Create(offer, {}, &object);
        EXPECT_EQ(E_INVALIDARG, ::CaptureSelection(list_, refused.Get()));
        EXPECT_EQ(1, object->GetDataCalls());
        EXPECT_EQ(0, object->OutstandingMedia());  // a medium handed out was released
    }
    EXPECT_EQ((std::vector<std::wstring>{photo}), Paths(list_));
}

TEST_F(CaptureSelection, EmptyDropListEmptiesTheSelection)
{
    ASSERT_TRUE(list_.Append(L"C:\\old.jpg"));
    HandMadeDataObject* object = nullptr;
    ComPtr<IDataObject> empty = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, {}, &object);

    EXPECT_EQ(S_OK, ::CaptureSelection(list_, empty.Get()));
    EXPECT_EQ(0u, list_.Size());
    EXPECT_EQ(0, object->OutstandingMedia());
}

// A cut "....jpg.txt" would pass the image test, and a cut name reaches the application as a
// file that does not exist: a path that does not fit is refused with the whole selection.
TEST_F(CaptureSelection, PathThatDoesNotFitEmptiesTheSelection)
{
    std::wstring exact = L"C:\\" + std::wstring(252, L'y') + L".jpg";  // 259 units: fits
    ComPtr<IDataObject> fits = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, {exact});
    ASSERT_EQ(S_OK, ::CaptureSelection(list_, fits.Get()));
    EXPECT_EQ((std::vector<std::wstring>{exact}), Paths(list_));

    for (size_t length : {260, 261, 400}) {
        std::wstring tooLong = L"C:\\" + std::wstring(length - 11, L'x') + L".jpg.txt";
        ASSERT_EQ(length, tooLong.size());
        HandMadeDataObject* object = nullptr;
        ComPtr<IDataObject> data =
            HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, {exact, tooLong, exact}, &object);
        EXPECT_EQ(E_INVALIDARG, ::CaptureSelection(list_, data.Get())) << length;
        EXPECT_EQ(0u, list_.Size()) << length;
        EXPECT_EQ(0, object->OutstandingMedia());
    }
}

// A DROPFILES block of 16-byte multiples (as global memory is sized) around a list's bytes.
std::string DropBlock(DWORD listOffset, BOOL wide, const std::string& list, size_t bytes)
{
    std::string block(bytes, 'x');
    DROPFILES header = {listOffset, {0, 0}, FALSE, wide};
    block.replace(0, sizeof(header), reinterpret_cast<const char*>(&header), sizeof(header));
    return block.replace(listOffset, list.size(), list);
}

TEST_F(CaptureSelection, ReadsAnsiListsAndRefusesMalformedBlocks)
{
    const std::string ansi("C:\\a.jpg\0C:\\b\xe9.txt\0\0", 20);
    ComPtr<IDataObject> ansiList = HandMadeDataObject::CreateFromBlock(DropBlock(32, FALSE, ansi, 64));
    ASSERT_EQ(S_OK, ::CaptureSelection(list_, ansiList.Get()));
    wchar_t converted[16] = {};
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str() + 9, 9, converted, 16);  // as the platform reads it
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\a.jpg", converted}), Paths(list_));

    const std::string wide(reinterpret_cast<const char*>(L"C:\\a.jpg\0C:\\b.png\0"), 36);
    const std::string malformed[] = {
        std::string(8, '\0'),                 // smaller than its header
        DropBlock(64, TRUE, "", 64),           // the list outside the block
        DropBlock(32, TRUE, wide, 80),         // the closing empty string missing: 'x' to the end
        DropBlock(32, FALSE, "C:\\a.jpg", 48),  // a path whose terminator lies outside
    };
    for (const std::string& block : malformed) {
        ASSERT_EQ(S_OK, ::CaptureSelection(list_, ansiList.Get()));
        EXPECT_EQ(E_INVALIDARG, ::CaptureSelection(list_, HandMadeDataObject::CreateFromBlock(block).Get()));
        EXPECT_EQ(0u, list_.Size());
    }
}

TEST_F(CaptureSelection, HundredThousandPathsAllArriveInOrder)
{
    std::vector<std::wstring> paths;
    for (int index = 0; index < 100000; ++index) {
        paths.push_back(L"C:\\pictures\\holiday\\img" + std::to_wstring(index) +
                        (index % 3 ? L".jpg" : L".txt"));
    }
    ComPtr<IDataObject> data = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, paths);

    EXPECT_EQ(S_OK, ::CaptureSelection(list_, data.Get()));
    EXPECT_EQ(paths, Paths(list_));
    EXPECT_EQ(100000u, list_.capacity);  // counted first: the pointers allocated once
}

// Module heaps capped at various sizes, all below the 390 KB that this selection of 1,000 long
// paths needs, run out at its pointers or at its text.
TEST_F(CaptureSelection, RunningOutOfMemoryEmptiesTheListAndLeaksNothing)
{
    std::vector<std::wstring> paths;
    for (int index = 0; index < 1000; ++index) {
        paths.push_back(L"C:\\scans\\" + std::wstring(180, L's') + std::to_wstring(index) + L".tif");
    }
    HandMadeDataObject* object = nullptr;
    ComPtr<IDataObject> data = HandMadeDataObject::Create(HandMadeDataObject::Offer::kPaths, paths, &object);

    for (SIZE_T limit = 8 * 1024; limit <= 256 * 1024; limit += 3 * 1024 + 136) {
        ModuleState record = {};
        record.privateHeap = HeapCreate(0, 0, limit);
        ASSERT_NE(nullptr, record.privateHeap);
        ModuleOverride useRecord(record);
        SelectionList list = {};
        ASSERT_TRUE(list.Append(L"C:\\earlier.jpg"));

        EXPECT_EQ(E_OUTOFMEMORY, ::CaptureSelection(list, data.Get())) << "heap limit " << limit;
        EXPECT_EQ(0u, list.Size()) << "heap limit " << limit;
        list.Destroy();
        EXPECT_EQ(0, BusyBlocks(record.privateHeap)) << "heap limit " << limit;
        HeapDestroy(record.privateHeap);
    }
    EXPECT_EQ(0, object->OutstandingMedia());
}

}  // namespace
