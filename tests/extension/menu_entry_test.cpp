#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "extension/menu_entry.h"

namespace {

struct MenuItem {
    UINT id = 0;
    std::wstring text;
    HBITMAP unchecked = nullptr;
    HBITMAP checked = nullptr;
};

MenuItem ReadItem(HMENU menu, UINT position)
{
    wchar_t text[256] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS;
    info.dwTypeData = text;
    info.cch = ARRAYSIZE(text);
    MenuItem item;
    if (GetMenuItemInfoW(menu, position, TRUE, &info)) {
        item.id = info.wID;
        item.text = text;
        item.unchecked = info.hbmpUnchecked;
        item.checked = info.hbmpChecked;
    }
    return item;
}

// A real popup menu holding the shell's own entries, as when a handler is asked to add its own.
class MenuEntry : public testing::Test {
protected:
    void SetUp() override
    {
        menu_ = CreatePopupMenu();
        ASSERT_NE(nullptr, menu_);
        AppendMenuW(menu_, MF_STRING, 1, L"&Open");
        AppendMenuW(menu_, MF_STRING, 2, L"Cu&t");
        AppendMenuW(menu_, MF_STRING, 3, L"&Copy");
    }
    void TearDown() override
    {
        DestroyMenu(menu_);
        list_.Destroy();
    }
    void Select(std::vector<const wchar_t*> paths)
    {
        for (const wchar_t* path : paths) {
            ASSERT_TRUE(list_.Append(path));
        }
    }

    HMENU menu_ = nullptr;
    SelectionList list_ = {};
};

TEST_F(MenuEntry, ImageInTheSelectionAddsTheEntryWithItsBitmap)
{
    Select({L"C:\\docs\\readme.txt", L"C:\\docs\\HOLIDAY.JPG"});

    EXPECT_EQ(1, QueryMenuEntry(list_, menu_, 1, 0x7000, 0x7FFF, CMF_NORMAL));

    ASSERT_EQ(4, GetMenuItemCount(menu_));
    MenuItem entry = ReadItem(menu_, 1);
    EXPECT_EQ(L"&Publish with Vantorel", entry.text);
    EXPECT_EQ(0x7000u, entry.id);
    EXPECT_NE(nullptr, entry.unchecked);
    EXPECT_EQ(entry.unchecked, entry.checked);
    BITMAP picture = {};
    ASSERT_EQ(static_cast<int>(sizeof(picture)), GetObjectW(entry.unchecked, sizeof(picture), &picture));
    EXPECT_EQ(12, picture.bmWidth);
    EXPECT_EQ(12, picture.bmHeight);
    // The shell's own entries kept their places around it.
    EXPECT_EQ(L"&Open", ReadItem(menu_, 0).text);
    EXPECT_EQ(L"Cu&t", ReadItem(menu_, 2).text);
    EXPECT_EQ(L"&Copy", ReadItem(menu_, 3).text);
}

TEST_F(MenuEntry, NoImageNoEntry)
{
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 100, 200, CMF_NORMAL));  // empty selection
    Select({L"C:\\docs\\readme.txt", L"C:\\docs\\photo.jpeg", L"C:\\pics.jpg\\readme"});
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(3, GetMenuItemCount(menu_));
}

TEST_F(MenuEntry, DefaultOnlyIsTheOneFlagThatHidesTheEntry)
{
    Select({L"C:\\a\\one.png", L"C:\\a\\two.tiff"});
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 100, 200, CMF_DEFAULTONLY));
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 100, 200, CMF_DEFAULTONLY | CMF_EXPLORE));
    EXPECT_EQ(3, GetMenuItemCount(menu_));

    int added = 0;
    for (UINT flags : std::initializer_list<UINT>{CMF_EXPLORE, CMF_VERBSONLY, CMF_NOVERBS, CMF_CANRENAME, CMF_EXTENDEDVERBS,
                       CMF_NODEFAULT, 0xFFFFFFFEu}) {
        EXPECT_EQ(1, QueryMenuEntry(list_, menu_, 0, 100 + added, 200, flags)) << flags;
        ++added;
    }
    EXPECT_EQ(3 + added, GetMenuItemCount(menu_));
}

TEST_F(MenuEntry, TakesIdCmdFirstOnlyWhenTheRangeOffersIt)
{
    Select({L"C:\\x\\scan.TGA"});
    EXPECT_EQ(1, QueryMenuEntry(list_, menu_, 3, 500, 500, CMF_NORMAL));
    EXPECT_EQ(500u, ReadItem(menu_, 3).id);
    // An empty range: no identifier is taken and nothing is added.
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 600, 10, CMF_NORMAL));
    EXPECT_EQ(0, QueryMenuEntry(list_, menu_, 0, 0xFFFFFFFFu, 0xFFFFFFFEu, CMF_NORMAL));
    EXPECT_EQ(4, GetMenuItemCount(menu_));
}

TEST_F(MenuEntry, MenuThatRefusesTheEntryIsAnInvalidArgument)
{
    Select({L"C:\\x\\scan.png"});
    HMENU gone = CreatePopupMenu();
    ASSERT_TRUE(DestroyMenu(gone));
    EXPECT_EQ(E_INVALIDARG, QueryMenuEntry(list_, gone, 0, 100, 200, CMF_NORMAL));
    EXPECT_EQ(E_INVALIDARG, QueryMenuEntry(list_, nullptr, 0, 100, 200, CMF_NORMAL));
}

TEST_F(MenuEntry, EveryMenuSharesOneBitmap)
{
    Select({L"C:\\x\\icon.bmp"});
    std::vector<HMENU> menus;
    for (int round = 0; round < 50; ++round) {
        HMENU menu = CreatePopupMenu();
        ASSERT_EQ(1, QueryMenuEntry(list_, menu, 0, 1, 1, CMF_NORMAL));
        menus.push_back(menu);
    }
    HBITMAP first = ReadItem(menus.front(), 0).unchecked;
    ASSERT_NE(nullptr, first);
    for (HMENU menu : menus) {
        EXPECT_EQ(first, ReadItem(menu, 0).unchecked);
        DestroyMenu(menu);
    }
    // Closing the menus leaves the module's bitmap alive for the next one.
    EXPECT_EQ(OBJ_BITMAP, static_cast<int>(GetObjectType(first)));
}

TEST(GetCommandString, ValidatesOffsetZeroAndOffersNoTextsWithoutWritingAnything)
{
    wchar_t text[32];
    std::fill(std::begin(text), std::end(text), L'z');
    auto* buffer = reinterpret_cast<CHAR*>(text);
    for (UINT type : {GCS_HELPTEXTA, GCS_HELPTEXTW, GCS_VERBA, GCS_VERBW}) {
        EXPECT_EQ(E_NOTIMPL, GetMenuCommandString(0, type, nullptr, buffer, 32)) << type;
    }
    for (UINT type : {GCS_VALIDATEA, GCS_VALIDATEW}) {
        EXPECT_EQ(S_OK, GetMenuCommandString(0, type, nullptr, buffer, 32)) << type;
        EXPECT_EQ(S_FALSE, GetMenuCommandString(1, type, nullptr, buffer, 32)) << type;
    }
    EXPECT_EQ(E_NOTIMPL, GetMenuCommandString(7, GCS_HELPTEXTW, nullptr, nullptr, 0));
    EXPECT_EQ(std::wstring(32, L'z'), std::wstring(text, 32));
}

}  // namespace
