#pragma once
// Registry text taken apart where it names the module's own path or the module's folder, so
// that a writer can put something else there: the installed path, or an installer reference.

#include <string>
#include <vector>

enum class TextPart { kLiteral, kModulePath, kModuleFolder };

struct TextPiece {
    TextPart part;
    std::wstring text;  // as it stands in the registry
};

// The pieces of `text`, in order. The module's path, and elsewhere the module's folder with
// its trailing separator, are found without regard to case, as the file system names them.
std::vector<TextPiece> SplitAtModulePath(const std::wstring& text, const std::wstring& modulePath);

// The folder part of a path, up to and with its last "\", "/" or ":"; empty when it has none.
std::wstring FolderOf(const std::wstring& path);
