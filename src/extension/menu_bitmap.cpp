#include "extension/menu_bitmap.h"

#include "runtime/critical_section_lock.h"
#include "runtime/module_state.h"
#include "runtime/unique_resource.h"

namespace {

void* volatile menuBitmap = nullptr;

HBITMAP PublishedBitmap()
{
    // A compare-exchange that changes nothing: an interlocked read of the pointer.
    return static_cast<HBITMAP>(InterlockedCompareExchangePointer(&menuBitmap, nullptr, nullptr));
}

// Runs at tear-down, after the module's locks are gone: takes no lock.
void DeleteMenuBitmap(void* /*argument*/)
{
    void* bitmap = InterlockedExchangePointer(&menuBitmap, nullptr);
    if (bitmap) {
        DeleteObject(static_cast<HGDIOBJ>(bitmap));
    }
}

}  // namespace

HBITMAP MenuBitmap()
{
    if (HBITMAP bitmap = PublishedBitmap()) {
        return bitmap;
    }
    CriticalSectionLock lock(theModule->generalLock);
    if (HBITMAP bitmap = PublishedBitmap()) {
        return bitmap;
    }
    UniqueGdiObject loaded(LoadBitmapW(theModule->instance, MAKEINTRESOURCEW(kMenuBitmapId)));
    if (!loaded) {
        return nullptr;
    }
    // Without its tear-down the handle would outlive the module: rather no picture.
    if (FAILED(AddExitCallback(theModule, DeleteMenuBitmap, nullptr))) {
        return nullptr;
    }
    HGDIOBJ bitmap = loaded.Detach();
    InterlockedExchangePointer(&menuBitmap, bitmap);
    return static_cast<HBITMAP>(bitmap);
}
