// A program of its own: each round below is the first use of the bitmap in a module's life,
// which no other test of this program may have made before.

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "extension/menu_bitmap.h"
#include "module_override.h"
#include "server/module_lifecycle.h"

namespace {

TEST(MenuBitmap, LoadedOnceForRacingThreadsAndDeletedAtTearDown)
{
    for (int round = 0; round < 20; ++round) {
        ModuleState record = {};
        ModuleOverride useRecord(record);
        ASSERT_EQ(S_OK, InitModule(&record, nullptr, GetModuleHandleW(nullptr)));

        std::vector<HBITMAP> seen(8);
        std::vector<std::thread> threads;
        for (HBITMAP& slot : seen) {
            threads.emplace_back([&slot] { slot = MenuBitmap(); });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        HBITMAP bitmap = seen.front();
        ASSERT_NE(nullptr, bitmap);
        for (HBITMAP other : seen) {
            EXPECT_EQ(bitmap, other) << "round " << round;
        }
        EXPECT_EQ(bitmap, MenuBitmap());
        BITMAP picture = {};
        ASSERT_EQ(static_cast<int>(sizeof(picture)), GetObjectW(bitmap, sizeof(picture), &picture));
        EXPECT_EQ(12, picture.bmWidth);
        EXPECT_EQ(12, picture.bmHeight);

        ASSERT_EQ(S_OK, TermModule(&record));
        EXPECT_EQ(0u, GetObjectType(bitmap)) << "the bitmap outlived its module, round " << round;
    }
}

TEST(MenuBitmap, MissingResourceGivesNoPictureAndNoTearDownWork)
{
    ModuleState record = {};
    ModuleOverride useRecord(record);
    // A module without BITMAP 201: the system's kernel32.
    ASSERT_EQ(S_OK, InitModule(&record, nullptr, GetModuleHandleW(L"kernel32.dll")));
    EXPECT_EQ(nullptr, MenuBitmap());
    EXPECT_EQ(nullptr, record.exitCallbacks);
    ASSERT_EQ(S_OK, TermModule(&record));
}

}  // namespace
