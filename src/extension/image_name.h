#pragma once

#include <windows.h>

// True when the path names an image the publishing application takes, judged by its last
// characters only: at least 6 units, ending in .jpg, .bmp, .png, .tga, .tif or .tiff with
// the case of ASCII letters ignored. Never touches the file system.
bool ImageNameFilter(const WCHAR* path);
