#include "reg_file.h"

#include <windows.h>

#include <cwchar>

#include "module_path_text.h"

namespace {

std::wstring Escaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t unit : text) {
        if (unit == L'\\' || unit == L'"') {
            escaped += L'\\';
        }
        escaped += unit;
    }
    return escaped;
}

std::wstring Replaced(const std::wstring& text, const ModulePathReplacement& replacement)
{
    if (replacement.modulePath.empty()) {
        return text;
    }
    std::wstring result;
    for (const TextPiece& piece : SplitAtModulePath(text, replacement.modulePath)) {
        result += piece.part == TextPart::kModulePath     ? replacement.path
                  : piece.part == TextPart::kModuleFolder ? replacement.folder
                                                          : piece.text;
    }
    return result;
}

std::wstring Units(const std::vector<BYTE>& data)
{
    std::wstring units(data.size() / 2, L'\0');
    for (size_t index = 0; index < units.size(); ++index) {
        units[index] = static_cast<wchar_t>(data[2 * index] | (data[2 * index + 1] << 8));
    }
    return units;
}

std::vector<BYTE> Bytes(const std::wstring& units, size_t oddByte, const std::vector<BYTE>& original)
{
    std::vector<BYTE> data;
    for (wchar_t unit : units) {
        data.push_back(static_cast<BYTE>(unit & 0xFF));
        data.push_back(static_cast<BYTE>(unit >> 8));
    }
    if (oddByte) {
        data.push_back(original.back());  // a trailing half unit stays as it was
    }
    return data;
}

bool IsTextType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A string that the quoted form carries exactly: whole units, one terminator at the end and
// none before it, and no line break.
bool QuotedFormFits(const RegistryValue& value)
{
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0) {
        return false;
    }
    std::wstring units = Units(value.data);
    return units.back() == L'\0' && units.find_first_of(std::wstring(L"\0\r\n", 3)) == units.size() - 1;
}

// hex: or hex(N): and the bytes, in lines of at most 80 characters as regedit writes them.
std::wstring HexForm(const std::wstring& lead, const RegistryValue& value)
{
    std::wstring text = lead + (value.type == REG_BINARY ? std::wstring(L"hex:") : [&] {
        wchar_t type[24];
        swprintf(type, 24, L"hex(%lx):", static_cast<unsigned long>(value.type));
        return std::wstring(type);
    }());
    size_t column = text.size();
    for (size_t index = 0; index < value.data.size(); ++index) {
        wchar_t byte[4];
        swprintf(byte, 4, L"%02x", value.data[index]);
        text += byte;
        column += 2;
        if (index + 1 < value.data.size()) {
            text += L',';
            ++column;
            if (column >= 76) {
                text += L"\\\r\n  ";
                column = 2;
            }
        }
    }
    return text;
}

std::wstring ValueLine(const std::wstring& name, RegistryValue value, const ModulePathReplacement& replacement)
{
    std::wstring lead = (name.empty() ? std::wstring(L"@") : L"\"" + Escaped(name) + L"\"") + L"=";
    if (IsTextType(value.type) && !replacement.modulePath.empty()) {
        value.data = Bytes(Replaced(Units(value.data), replacement), value.data.size() % 2, value.data);
    }
    if (QuotedFormFits(value)) {
        std::wstring units = Units(value.data);
        return lead + L"\"" + Escaped(units.substr(0, units.size() - 1)) + L"\"";
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        wchar_t number[16];
        swprintf(number, 16, L"dword:%08lx",
                 static_cast<unsigned long>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                            (static_cast<DWORD>(value.data[3]) << 24)));
        return lead + number;
    }
    return HexForm(lead, value);
}

}  // namespace

std::wstring RegFileText(const RegistrySnapshot& keys, const std::wstring& rootName,
                         const ModulePathReplacement& replacement)
{
    std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
    for (const auto& [key, values] : keys) {
        if (key.empty() && values.empty()) {
            continue;
        }
        text += L"[" + rootName + (key.empty() ? L"" : L"\\" + key) + L"]\r\n";
        for (const auto& [name, value] : values) {
            text += ValueLine(name, value, replacement) + L"\r\n";
        }
        text += L"\r\n";
    }
    return text;
}

std::string RegFileBytes(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}
