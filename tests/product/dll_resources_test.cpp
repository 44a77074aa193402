#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "built_dll_fixture.h"

namespace {

struct ResourceId {
    std::wstring type;
    std::wstring name;
    WORD language;
};

std::wstring IdText(LPCWSTR id)
{
    return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(id))
                              : std::wstring(id);
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR list)
{
    reinterpret_cast<std::vector<ResourceId>*>(list)->push_back({IdText(type), IdText(name), language});
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR list)
{
    EnumResourceLanguagesW(module, type, name, AddLanguage, list);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR list)
{
    EnumResourceNamesW(module, type, AddName, list);
    return TRUE;
}

// Each built DLL, checked through the platform's resource and version functions.
class DllResources : public BuiltDllFixture {
protected:
    std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name)
    {
        std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || !value) {
            return L"<missing>";
        }
        return static_cast<const wchar_t*>(value);
    }
};

TEST_P(DllResources, EveryResourceIsInLanguage2052)
{
    std::vector<ResourceId> resources;
    EnumResourceTypesW(library_, AddType, reinterpret_cast<LONG_PTR>(&resources));
    ASSERT_FALSE(resources.empty());
    for (const ResourceId& resource : resources) {
        EXPECT_EQ(kLanguage, resource.language)
            << "resource " << std::string(resource.type.begin(), resource.type.end()) << " "
            << std::string(resource.name.begin(), resource.name.end());
    }
}

TEST_P(DllResources, StringTableHoldsModuleName)
{
    // String 100 lives in block 100 / 16 + 1, at place 100 % 16 of that block.
    HRSRC found = FindResourceExW(library_, RT_STRING, MAKEINTRESOURCEW(100 / 16 + 1), kLanguage);
    ASSERT_NE(nullptr, found);
    auto* units = static_cast<const WCHAR*>(LockResource(LoadResource(library_, found)));
    ASSERT_NE(nullptr, units);
    for (int index = 0; index < 100 % 16; ++index) {
        units += 1 + *units;
    }
    EXPECT_EQ(L"vtlMenu", std::wstring(units + 1, *units));
}

TEST_P(DllResources, MenuBitmapIs12By12With256Colours)
{
    HRSRC found = FindResourceExW(library_, RT_BITMAP, MAKEINTRESOURCEW(201), kLanguage);
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(1208u, SizeofResource(library_, found));
    auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(library_, found)));
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(sizeof(BITMAPINFOHEADER), header->biSize);
    EXPECT_EQ(12, header->biWidth);
    EXPECT_EQ(12, header->biHeight);  // bottom-up rows
    EXPECT_EQ(1, header->biPlanes);
    EXPECT_EQ(8, header->biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), header->biCompression);
    EXPECT_TRUE(header->biClrUsed == 0 || header->biClrUsed == 256) << header->biClrUsed;
    // Header, 256 colours of 4 bytes, 12 rows of 12 bytes (already a multiple of 4).
    EXPECT_EQ(sizeof(BITMAPINFOHEADER) + 256 * 4 + 12 * 12, SizeofResource(library_, found));
}

// The icon of the first-level entry is the menu bitmap's picture: at 16 pixels with a margin
// of 2, at 32 pixels doubled with a margin of 4; the bitmap's background and the margin are
// clear (mask set), every other pixel has the bitmap's colour.
TEST_P(DllResources, MenuIconIsTheBitmapsPictureAt16And32Pixels)
{
    std::vector<BYTE> bitmap = Resource(RT_BITMAP, 201);
    std::vector<BYTE> group = Resource(RT_GROUP_ICON, 202);
    ASSERT_EQ(1208u, bitmap.size());
    ASSERT_GE(group.size(), 6u + 2 * 14);
    auto bitmapColour = [&](int x, int y) {
        const BYTE* pixels = bitmap.data() + sizeof(BITMAPINFOHEADER) + 256 * 4;
        BYTE index = pixels[(11 - y) * 12 + x];
        const BYTE* entry = bitmap.data() + sizeof(BITMAPINFOHEADER) + index * 4;
        return RGB(entry[2], entry[1], entry[0]);
    };
    const COLORREF background = bitmapColour(0, 0);

    WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(2, count);
    std::vector<int> sizes;
    for (WORD image = 0; image < count; ++image) {
        const BYTE* entry = group.data() + 6 + 14 * image;  // GRPICONDIRENTRY
        int size = entry[0];
        WORD id = *reinterpret_cast<const WORD*>(entry + 12);
        sizes.push_back(size);
        std::vector<BYTE> icon = Resource(RT_ICON, id);
        ASSERT_GE(icon.size(), sizeof(BITMAPINFOHEADER));
        const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(icon.data());
        ASSERT_EQ(size, header->biWidth);
        ASSERT_EQ(2 * size, header->biHeight);  // colours and mask
        ASSERT_EQ(4, header->biBitCount);
        const BYTE* table = icon.data() + sizeof(BITMAPINFOHEADER);
        const BYTE* colours = table + 16 * 4;
        int colourStride = (size * 4 + 31) / 32 * 4;
        int maskStride = (size + 31) / 32 * 4;
        const BYTE* mask = colours + colourStride * size;
        ASSERT_EQ(sizeof(BITMAPINFOHEADER) + 16 * 4 + (colourStride + maskStride) * size, icon.size());

        int scale = size / 16;
        int margin = 2 * scale;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                int row = size - 1 - y;  // bottom-up
                bool clear = (mask[row * maskStride + x / 8] >> (7 - x % 8)) & 1;
                BYTE pair = colours[row * colourStride + x / 2];
                BYTE index = x % 2 ? pair & 0x0F : pair >> 4;
                COLORREF colour = RGB(table[index * 4 + 2], table[index * 4 + 1], table[index * 4]);
                int px = (x - margin) / scale;
                int py = (y - margin) / scale;
                bool inside = x >= margin && y >= margin && px < 12 && py < 12;
                if (!inside || bitmapColour(px, py) == background) {
                    EXPECT_TRUE(clear) << size << " px at " << x << "," << y;
                    EXPECT_EQ(RGB(0, 0, 0), colour) << size << " px at " << x << "," << y;  // leaves the screen as it is
                } else {
                    EXPECT_FALSE(clear) << size << " px at " << x << "," << y;
                    EXPECT_EQ(bitmapColour(px, py), colour) << size << " px at " << x << "," << y;
                }
            }
        }
    }
    EXPECT_EQ((std::vector<int>{16, 32}), sizes);
}

TEST_P(DllResources, VersionResourceDescribesTheModule)
{
    ASSERT_NE(nullptr, FindResourceExW(library_, RT_VERSION, MAKEINTRESOURCEW(1), kLanguage));

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(0, 1), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(1, 0), fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(kLanguage, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    EXPECT_EQ(L"vtlMenu Module", VersionString(info, L"FileDescription"));
    EXPECT_EQ(L"vtlMenu Module", VersionString(info, L"ProductName"));
    EXPECT_EQ(L"vtlMenu", VersionString(info, L"InternalName"));
    EXPECT_EQ(L"vtlMenu.DLL", VersionString(info, L"OriginalFilename"));
}

VTL_FOR_EACH_BUILT_DLL(DllResources);

}  // namespace
