#include "drop_file_list.h"

#include <shlobj.h>

#include <cstring>

HGLOBAL MakeDropFiles(const std::vector<std::wstring>& paths)
{
    size_t units = 2;  // the list ends in an empty path: two zeros even when it holds none
    for (const std::wstring& path : paths) {
        units += path.size() + 1;
    }
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(WCHAR));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    if (!drop) {
        GlobalFree(memory);
        return nullptr;
    }
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<WCHAR*>(drop + 1);
    for (const std::wstring& path : paths) {
        std::memcpy(text, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
        text += path.size() + 1;
    }
    GlobalUnlock(memory);
    return memory;
}
