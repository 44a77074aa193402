#include "temp_folder.h"

#include <windows.h>

namespace {

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

TempFolder::TempFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring base = std::wstring(temp, length) + L"vtlMenuTests\\";
    CreateDirectoryW(base.c_str(), nullptr);
    path_ = base + name + L"\\";
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    RemoveTree(path_);
}

std::wstring TempFolder::MakeFolders(const std::wstring& relative) const
{
    std::wstring path = path_;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = relative.size();
        }
        path += relative.substr(start, end - start) + L"\\";
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return {};
        }
        start = end + 1;
    }
    return path;
}

std::wstring TempFolder::CopyIn(const std::wstring& source, const std::wstring& relative) const
{
    std::wstring target = path_ + relative;
    return CopyFileW(source.c_str(), target.c_str(), FALSE) ? target : std::wstring();
}

std::wstring TempFolder::MakeFile(const std::wstring& relative) const
{
    size_t end = relative.find_last_of(L'\\');
    if (end != std::wstring::npos && MakeFolders(relative.substr(0, end)).empty()) {
        return {};
    }
    std::wstring path = path_ + relative;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {};
    }
    CloseHandle(file);
    return path;
}
