#include "extension/image_name.h"

#include "extension/case_folding.h"

namespace {

constexpr int kMinimumPathLength = 6;
constexpr const WCHAR* kFourUnitSuffixes[] = {L".jpg", L".bmp", L".png", L".tga", L".tif"};
constexpr const WCHAR* kFiveUnitSuffix = L".tiff";

}  // namespace

bool ImageNameFilter(const WCHAR* path)
{
    int length = lstrlenW(path);
    if (length < kMinimumPathLength) {
        return false;
    }
    for (const WCHAR* suffix : kFourUnitSuffixes) {
        if (CompareFolded(path + length - 4, suffix, 4) == 0) {
            return true;
        }
    }
    return CompareFolded(path + length - 5, kFiveUnitSuffix, 5) == 0;
}
