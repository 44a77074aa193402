#include "wix_fragment.h"

#include <windows.h>

#include <set>

#include "module_path_text.h"

namespace {

// The installer's directory property that the product source gives the module's folder.
const wchar_t kInstallFolder[] = L"INSTALLFOLDER";

std::wstring XmlEscaped(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t unit : text) {
        switch (unit) {
        case L'&': escaped += L"&amp;"; break;
        case L'<': escaped += L"&lt;"; break;
        case L'>': escaped += L"&gt;"; break;
        case L'"': escaped += L"&quot;"; break;
        default: escaped += unit;
        }
    }
    return escaped;
}

// Literal text in an installer formatted string, inside a WiX attribute: brackets are the
// installer's references and "$" the preprocessor's, so both are escaped.
bool FormattedLiteral(const std::wstring& text, std::wstring& result, std::wstring& error)
{
    for (size_t index = 0; index < text.size(); ++index) {
        wchar_t unit = text[index];
        if (unit < 0x20) {
            error = L"it holds a control character";
            return false;
        }
        if (unit == L'$' && index + 1 < text.size() && text[index + 1] == L'(') {
            // wixl expands "$$(" as a variable reference: no escape carries it.
            error = L"it holds \"$(\", which the WiX preprocessor would take for a variable";
            return false;
        }
        result += unit == L'[' ? std::wstring(L"[\\[]") : unit == L']' ? std::wstring(L"[\\]]")
                  : unit == L'$' ? std::wstring(L"$$") : std::wstring(1, unit);
    }
    return true;
}

bool FormattedValue(const std::wstring& text, const WixComponent& component, const std::wstring& fileId,
                    std::wstring& result, std::wstring& error)
{
    for (const TextPiece& piece : SplitAtModulePath(text, component.modulePath)) {
        if (piece.part == TextPart::kModulePath) {
            result += L"[#" + fileId + L"]";
        } else if (piece.part == TextPart::kModuleFolder) {
            result += std::wstring(L"[") + kInstallFolder + L"]";
        } else if (!FormattedLiteral(piece.text, result, error)) {
            return false;
        }
    }
    return true;
}

// The attributes Type and Value of one value, or false with the reason.
bool ValueAttributes(const RegistryValue& value, const WixComponent& component, const std::wstring& fileId,
                     std::wstring& attributes, std::wstring& error)
{
    if (value.type == REG_DWORD && value.data.size() == 4) {
        LONG number = static_cast<LONG>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                        (static_cast<DWORD>(value.data[3]) << 24));
        attributes = L"Type=\"integer\" Value=\"" + std::to_wstring(number) + L"\"";
        return true;
    }
    if (value.type != REG_SZ) {
        error = L"its type " + std::to_wstring(value.type) + L" is none of the two that wixl writes (string, integer)";
        return false;
    }
    size_t units = value.data.size() / 2;
    const wchar_t* data = reinterpret_cast<const wchar_t*>(value.data.data());
    if (value.data.size() % 2 != 0 || units < 2 || data[units - 1] != L'\0' ||
        std::wstring(data, units - 1).find(L'\0') != std::wstring::npos) {
        // An empty string is the installer's null value, which means something else there.
        error = units < 2 ? L"it is an empty string, which the installer tables take for no value"
                          : L"it is not one terminated string";
        return false;
    }
    std::wstring formatted;
    if (!FormattedValue(std::wstring(data, units - 1), component, fileId, formatted, error)) {
        return false;
    }
    attributes = L"Type=\"string\" Value=\"" + XmlEscaped(formatted) + L"\"";
    return true;
}

}  // namespace

std::wstring WixFileId(const std::wstring& fileName)
{
    std::wstring id;
    for (wchar_t unit : fileName) {
        bool allowed = (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z') ||
                       (unit >= L'0' && unit <= L'9') || unit == L'_' || unit == L'.';
        id += allowed ? unit : L'_';
    }
    if (id.empty() || (id[0] >= L'0' && id[0] <= L'9') || id[0] == L'.') {
        id = L"_" + id;
    }
    return id;
}

bool WixFragmentText(const RegistrySnapshot& keys, const WixComponent& component, std::wstring& text,
                     std::wstring& error)
{
    const std::wstring fileName = component.modulePath.substr(component.modulePath.find_last_of(L"\\/:") + 1);
    const std::wstring fileId = WixFileId(fileName);
    std::set<std::wstring, RegistryNameLess> parents;
    for (const auto& entry : keys) {
        parents.insert(ParentKeyPath(entry.first));
    }

    std::wstring rows;
    for (const auto& [key, values] : keys) {
        std::wstring keyText;
        std::wstring reason;
        if (key.empty()) {
            if (values.empty()) {
                continue;
            }
            error = L"a value on HKEY_CLASSES_ROOT itself has no place in the installer tables";
            return false;
        }
        if (!FormattedLiteral(key, keyText, reason)) {
            error = L"key " + key + L": " + reason;
            return false;
        }
        const std::wstring lead = L"        <RegistryValue Root=\"HKCR\" Key=\"" + XmlEscaped(keyText) + L"\"";
        if (values.empty()) {
            if (!parents.count(key)) {
                // The installer's row for a key alone: made on install, removed on uninstall.
                rows += lead + L" Name=\"*\" Type=\"string\" Value=\"\"/>\r\n";
            }
            continue;  // a parent is made on the way to its children and removed once empty
        }
        for (const auto& [name, value] : values) {
            std::wstring nameText;
            std::wstring attributes;
            if (name == L"+" || name == L"-" || name == L"*") {
                reason = L"the installer tables give this name a meaning of its own";
            } else if (FormattedLiteral(name, nameText, reason) &&
                       ValueAttributes(value, component, fileId, attributes, reason)) {
                rows += lead + (name.empty() ? L"" : L" Name=\"" + XmlEscaped(nameText) + L"\"") + L" " +
                        attributes + L"/>\r\n";
                continue;
            }
            error = L"value \"" + name + L"\" of key " + key + L": " + reason;
            return false;
        }
    }

    text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
           L"<!-- Harvested by vtlreg from the registration of " + XmlEscaped(fileName) +
           L": the file and exactly what its DllRegisterServer writes.\r\n"
           L"     The product places it in its directory INSTALLFOLDER; ModuleSource names the file to package. -->\r\n"
           L"<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\r\n"
           L"  <Fragment>\r\n"
           L"    <DirectoryRef Id=\"INSTALLFOLDER\">\r\n"
           L"      <Component Id=\"" + fileId + L"\" Guid=\"*\" Win64=\"" + (component.win64 ? L"yes" : L"no") + L"\">\r\n"
           L"        <File Id=\"" + fileId + L"\" Name=\"" + XmlEscaped(fileName) +
           L"\" Source=\"$(var.ModuleSource)\" KeyPath=\"yes\"/>\r\n" +
           rows +
           L"      </Component>\r\n"
           L"    </DirectoryRef>\r\n"
           L"  </Fragment>\r\n"
           L"</Wix>\r\n";
    return true;
}

std::string WixFragmentBytes(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}
