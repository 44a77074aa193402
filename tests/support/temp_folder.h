#pragma once
// A folder of a test's own under the prefix's temporary folder, made fresh and removed with
// everything in it at the end of the scope.

#include <string>

class TempFolder {
public:
    explicit TempFolder(const std::wstring& name);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path, with a trailing backslash.
    const std::wstring& Path() const { return path_; }

    // Makes the folders of `relative` (separated by backslashes) inside this one and returns
    // the full path with a trailing backslash; empty when one cannot be made.
    std::wstring MakeFolders(const std::wstring& relative) const;

    // Makes an empty file at `relative` inside this folder (and the folders on its way) and
    // returns its full path; empty on failure.
    std::wstring MakeFile(const std::wstring& relative) const;

    // Copies `source` to `relative` inside this folder and returns the copy's full path;
    // empty on failure.
    std::wstring CopyIn(const std::wstring& source, const std::wstring& relative) const;

private:
    std::wstring path_;
};
