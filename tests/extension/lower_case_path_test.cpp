#include <gtest/gtest.h>

#include <string>

#include "extension/launch_command.h"
#include "extension/lower_case_path.h"

namespace {

std::wstring Lowered(std::wstring path)
{
    LowerCasePath(path.data());
    return path;
}

TEST(LowerCasePath, OnlyAsciiCapitalsChangeBelow256)
{
    EXPECT_EQ(L"d:\\pics\\b.jpg", Lowered(L"D:\\Pics\\B.JPG"));
    EXPECT_EQ(L"@[`{ 09az", Lowered(L"@[`{ 09AZ"));
    // Latin-1 capitals stay as they are: the table marks A to Z only.
    EXPECT_EQ(L"c:\\\xC9t\xC9\\\xC0.jpg", Lowered(L"C:\\\xC9T\xC9\\\xC0.JPG"));
    EXPECT_EQ(L"", Lowered(L""));
}

TEST(LowerCasePath, CapitalsAbove255BecomeTheirOwnSmallLetters)
{
    // U+0100 is A with macron; moving it by 0x20 would give U+0120, G with dot above.
    EXPECT_EQ(L"c:\\\x0101.png", Lowered(L"C:\\\x0100.PNG"));
    EXPECT_EQ(L"\x03B1\x03B2\x03B3", Lowered(L"\x0391\x0392\x0393"));  // Greek
    EXPECT_EQ(L"\x0430\x044F", Lowered(L"\x0410\x042F"));              // Cyrillic
    EXPECT_EQ(L"\xFF41\xFF5A", Lowered(L"\xFF21\xFF3A"));              // fullwidth A and Z
    // Small letters, ideographs and non-characters stay.
    EXPECT_EQ(L"\x0101\x4E2D\xFFFF", Lowered(L"\x0101\x4E2D\xFFFF"));
}

TEST(LowerCasePath, SortFollowsCodeUnitsOfTheLoweredText)
{
    SelectionList list = {};
    for (const wchar_t* text : {L"C:\\b.jpg", L"C:\\a.jpg\\x", L"C:\\\x0100.jpg", L"C:\\a.jpg",
                                L"C:\\_.jpg", L"C:\\A.JPG"}) {
        ASSERT_TRUE(list.Append(text));
        LowerCasePath(list.At(list.Size() - 1));
    }
    SortSelection(list);
    const wchar_t* expected[] = {L"c:\\_.jpg", L"c:\\a.jpg", L"c:\\a.jpg", L"c:\\a.jpg\\x",
                                 L"c:\\b.jpg", L"c:\\\x0101.jpg"};
    ASSERT_EQ(6u, list.Size());
    for (UINT32 index = 0; index < 6; ++index) {
        EXPECT_STREQ(expected[index], list.At(index)) << index;
    }
    list.Destroy();
}

}  // namespace
