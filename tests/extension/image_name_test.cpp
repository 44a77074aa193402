#include <gtest/gtest.h>

#include "extension/case_folding.h"
#include "extension/image_name.h"

namespace {

TEST(ImageNameFilter, AcceptsImageSuffixesInAnyAsciiCase)
{
    for (const wchar_t* path :
         {L"C:\\a.jpg", L"C:\\PHOTO.JPG", L"C:\\Photo.JpG", L"C:\\scan.tif", L"C:\\scan.TIFF",
          L"C:\\map.tga", L"C:\\logo.PNG", L"C:\\icon.Bmp", L"C:\\x\\.png"}) {
        EXPECT_TRUE(ImageNameFilter(path)) << path;
    }
}

TEST(ImageNameFilter, SixUnitsIsTheShortestPath)
{
    EXPECT_TRUE(ImageNameFilter(L"ab.jpg"));
    EXPECT_TRUE(ImageNameFilter(L"a.tiff"));
    EXPECT_FALSE(ImageNameFilter(L"a.jpg"));
    EXPECT_FALSE(ImageNameFilter(L"x.tif"));
    EXPECT_FALSE(ImageNameFilter(L".png"));
    EXPECT_FALSE(ImageNameFilter(L""));
}

TEST(ImageNameFilter, RejectsOtherEndings)
{
    for (const wchar_t* path :
         {L"C:\\photo.jpeg", L"C:\\anim.gif", L"C:\\pic.jpg ", L"C:\\pic.jpg.txt",
          L"C:\\pics.jpg\\readme", L"C:\\scan.tiffs", L"C:\\scan_tif", L"C:\\notes.txt"}) {
        EXPECT_FALSE(ImageNameFilter(path)) << path;
    }
}

TEST(ImageNameFilter, OnlyAsciiLettersFold)
{
    // A full stop followed by the fullwidth letters j, p, g.
    EXPECT_FALSE(ImageNameFilter(L"C:\\photo.\xFF4A\xFF50\xFF47"));
    EXPECT_FALSE(ImageNameFilter(L"C:\\photo.\xFF2A\xFF30\xFF27"));
    EXPECT_FALSE(ImageNameFilter(L"C:\\photo,jpg"));
}

TEST(CompareFolded, EndsOfStrings)
{
    EXPECT_EQ(0, CompareFolded(L"ab", L"AB", 10));  // both end together
    EXPECT_EQ(-1, CompareFolded(L"ab", L"abc", 10));
    EXPECT_EQ(1, CompareFolded(L"abc", L"ab", 10));
    EXPECT_EQ(0, CompareFolded(L"abc", L"abd", 2));
    EXPECT_EQ(0, CompareFolded(L"abc", L"xyz", 0));
    EXPECT_EQ(0, CompareFolded(L"abc", L"xyz", -3));
}

TEST(CompareFolded, SignOrdersFoldedUnits)
{
    EXPECT_EQ(L'A' - L'B', CompareFolded(L"a", L"b", 1));
    EXPECT_GT(CompareFolded(L"b", L"A", 1), 0);
    EXPECT_EQ(0, CompareFolded(L".JPG", L".jpg", 4));
    // Units below 0x20 wrap round when folded and compare as unsigned values.
    EXPECT_GT(CompareFolded(L"\x01", L"a", 1), 0);
}

TEST(IsUpperCaseUnit, FixedTableBelow256)
{
    for (wchar_t unit = L'A'; unit <= L'Z'; ++unit) {
        EXPECT_TRUE(IsUpperCaseUnit(unit));
    }
    for (int unit = 0; unit < 256; ++unit) {
        if (unit >= 'A' && unit <= 'Z') {
            continue;
        }
        EXPECT_FALSE(IsUpperCaseUnit(static_cast<WCHAR>(unit))) << unit;  // 0xC0..0xDE too
    }
}

TEST(IsUpperCaseUnit, PlatformClassifiesTheRest)
{
    EXPECT_TRUE(IsUpperCaseUnit(0x0100));   // Latin capital A with macron
    EXPECT_FALSE(IsUpperCaseUnit(0x0101));  // its small letter
    EXPECT_TRUE(IsUpperCaseUnit(0x0391));   // Greek capital alpha
    EXPECT_TRUE(IsUpperCaseUnit(0xFF21));   // fullwidth A
    EXPECT_FALSE(IsUpperCaseUnit(0xFF41));  // fullwidth a
    EXPECT_FALSE(IsUpperCaseUnit(0x4E2D));  // a CJK ideograph
    EXPECT_FALSE(IsUpperCaseUnit(0xFFFF));
}

TEST(IsUpperCaseUnit, AnsiClassificationAgreesWhereTheCodePageHasTheCharacter)
{
    using namespace case_folding_detail;
    EXPECT_TRUE(UpperByWideType(0x0152));  // Latin capital ligature OE, in code page 1252
    EXPECT_TRUE(UpperByAnsiType(0x0152));
    EXPECT_FALSE(UpperByAnsiType(0x0153));
    EXPECT_FALSE(UpperByAnsiType(0x4E2D));  // not in the code page: becomes '?'
}

}  // namespace
