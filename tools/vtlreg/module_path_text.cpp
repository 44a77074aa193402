#include "module_path_text.h"

#include <windows.h>

namespace {

bool NamesAt(const std::wstring& text, size_t position, const std::wstring& name)
{
    return !name.empty() && text.size() - position >= name.size() &&
           CompareStringOrdinal(text.data() + position, static_cast<int>(name.size()), name.data(),
                                static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring FolderOf(const std::wstring& path)
{
    size_t end = path.find_last_of(L"\\/:");
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}

std::vector<TextPiece> SplitAtModulePath(const std::wstring& text, const std::wstring& modulePath)
{
    const std::wstring folder = FolderOf(modulePath);
    std::vector<TextPiece> pieces;
    auto add = [&pieces](TextPart part, std::wstring piece) {
        if (part == TextPart::kLiteral && !pieces.empty() && pieces.back().part == TextPart::kLiteral) {
            pieces.back().text += piece;
        } else {
            pieces.push_back({part, std::move(piece)});
        }
    };
    for (size_t position = 0; position < text.size();) {
        // The path first: it begins with the folder.
        if (NamesAt(text, position, modulePath)) {
            add(TextPart::kModulePath, text.substr(position, modulePath.size()));
            position += modulePath.size();
        } else if (NamesAt(text, position, folder)) {
            add(TextPart::kModuleFolder, text.substr(position, folder.size()));
            position += folder.size();
        } else {
            add(TextPart::kLiteral, text.substr(position, 1));
            ++position;
        }
    }
    return pieces;
}
