#include "wix_fragment.h"

#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <map>
#include <set>

#include "module_path_text.h"
#include "runtime/unique_resource.h"

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
                    std::wstring& result, bool& namesModule, std::wstring& error)
{
    for (const TextPiece& piece : SplitAtModulePath(text, component.modulePath)) {
        namesModule = namesModule || piece.part != TextPart::kLiteral;
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

// The attributes Type and Value of one value, or false with the reason. namesModule tells
// whether the value names the module's path or folder, which differ between installations.
bool ValueAttributes(const RegistryValue& value, const WixComponent& component, const std::wstring& fileId,
                     std::wstring& attributes, bool& namesModule, std::wstring& error)
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
    if (!FormattedValue(std::wstring(data, units - 1), component, fileId, formatted, namesModule, error)) {
        return false;
    }
    attributes = L"Type=\"string\" Value=\"" + XmlEscaped(formatted) + L"\"";
    return true;
}

// Keys of the classes root that 64-bit Windows keeps apart for each registry view; every other
// key there (the ProgIDs, "*", TypeLib, ...) is one key that both views share.
const wchar_t* const kViewOwnClassKeys[] = {L"CLSID", L"Interface", L"DirectShow", L"Media Type",
                                             L"MediaFoundation", nullptr};
// Where a 64-bit registration reaches the 32-bit view of the classes root.
const wchar_t kOtherViewNode[] = L"Wow6432Node";

bool FirstKeyIs(const std::wstring& key, const wchar_t* name)
{
    size_t length = lstrlenW(name);
    return key.size() >= length && (key.size() == length || key[length] == L'\\') &&
           CompareStringOrdinal(key.c_str(), static_cast<int>(length), name, static_cast<int>(length), TRUE) ==
               CSTR_EQUAL;
}

// The key as a 32-bit component names it, when the key is one that the other build of the
// module writes as well, so that both builds' packages own it together: a key both registry
// views share, and the 32-bit view's interface keys, which the platform's type library
// registration writes for both builds alike (the 64-bit one under Wow6432Node). False for a
// key that only this build writes.
bool KeyOfBothBuilds(const std::wstring& key, bool win64, std::wstring& shared)
{
    shared = key;
    if (win64 && FirstKeyIs(key, kOtherViewNode)) {
        shared = key.substr(std::min(key.size(), lstrlenW(kOtherViewNode) + size_t(1)));
        return FirstKeyIs(shared, L"Interface");
    }
    for (const wchar_t* const* own = kViewOwnClassKeys; *own; ++own) {
        if (FirstKeyIs(key, *own)) {
            return !win64 && FirstKeyIs(key, L"Interface");
        }
    }
    return !FirstKeyIs(key, kOtherViewNode);
}

struct CryptProviderTraits {
    using Type = HCRYPTPROV;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type value) noexcept { CryptReleaseContext(value, 0); }
};
struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type value) noexcept { CryptDestroyHash(value); }
};
using UniqueCryptProvider = UniqueResource<CryptProviderTraits>;
using UniqueCryptHash = UniqueResource<CryptHashTraits>;

// A name-based GUID (version 5, SHA-1) for `text`: the same rows give the same component code
// in every package that carries them, and other rows another one.
bool NameBasedGuid(const std::wstring& text, std::wstring& guid)
{
    // This tool's own namespace for component codes.
    static const BYTE kNamespace[16] = {0x6f, 0x1c, 0x2a, 0x93, 0x4e, 0x55, 0x4b, 0x0d,
                                        0x9a, 0x61, 0x3e, 0xc7, 0x08, 0xb2, 0x5d, 0x14};
    const std::string bytes = WixFragmentBytes(text);
    UniqueCryptProvider provider;
    UniqueCryptHash hash;  // declared after its provider, so destroyed before it
    BYTE digest[20];
    DWORD size = sizeof(digest);
    if (!CryptAcquireContextW(provider.Put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
        !CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Put()) ||
        !CryptHashData(hash.Get(), kNamespace, sizeof(kNamespace), 0) ||
        !CryptHashData(hash.Get(), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) ||
        !CryptGetHashParam(hash.Get(), HP_HASHVAL, digest, &size, 0)) {
        return false;
    }
    digest[6] = static_cast<BYTE>((digest[6] & 0x0F) | 0x50);
    digest[8] = static_cast<BYTE>((digest[8] & 0x3F) | 0x80);
    wchar_t formatted[37];
    wsprintfW(formatted, L"%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", digest[0],
              digest[1], digest[2], digest[3], digest[4], digest[5], digest[6], digest[7], digest[8], digest[9],
              digest[10], digest[11], digest[12], digest[13], digest[14], digest[15]);
    guid = formatted;
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

    // Rows only this build writes go with its file; rows both builds write alike go in a
    // 32-bit component that both packages carry, so that the Installer counts both products
    // as its clients and removes the rows with the last one, not with the first. Those are
    // kept in the order of their keys as the 32-bit component names them, so that both
    // builds' fragments list them alike.
    std::wstring ownRows;
    std::map<std::wstring, std::map<std::wstring, std::wstring, RegistryNameLess>, RegistryNameLess> sharedRows;
    for (const auto& [key, values] : keys) {
        std::wstring reason;
        if (key.empty()) {
            if (values.empty()) {
                continue;
            }
            error = L"a value on HKEY_CLASSES_ROOT itself has no place in the installer tables";
            return false;
        }
        std::wstring sharedKey;
        const bool ofBothBuilds = KeyOfBothBuilds(key, component.win64, sharedKey);
        std::wstring ownKeyText;
        std::wstring sharedKeyText;
        if (!FormattedLiteral(key, ownKeyText, reason) || !FormattedLiteral(sharedKey, sharedKeyText, reason)) {
            error = L"key " + key + L": " + reason;
            return false;
        }
        auto addRow = [&](bool shared, const std::wstring& name, const std::wstring& attributes) {
            std::wstring row = L"        <RegistryValue Root=\"HKCR\" Key=\"" +
                               XmlEscaped(shared ? sharedKeyText : ownKeyText) + L"\"" + attributes + L"/>\r\n";
            if (shared) {
                sharedRows[sharedKey][name] = row;
            } else {
                ownRows += row;
            }
        };
        if (values.empty()) {
            if (!parents.count(key)) {
                // The installer's row for a key alone: made on install, removed on uninstall.
                addRow(ofBothBuilds, L"*", L" Name=\"*\" Type=\"string\" Value=\"\"");
            }
            continue;  // a parent is made on the way to its children and removed once empty
        }
        for (const auto& [name, value] : values) {
            std::wstring nameText;
            std::wstring attributes;
            bool namesModule = false;
            if (name == L"+" || name == L"-" || name == L"*") {
                reason = L"the installer tables give this name a meaning of its own";
            } else if (FormattedLiteral(name, nameText, reason) &&
                       ValueAttributes(value, component, fileId, attributes, namesModule, reason)) {
                addRow(ofBothBuilds && !namesModule, name,
                       (name.empty() ? L"" : L" Name=\"" + XmlEscaped(nameText) + L"\"") + L" " + attributes);
                continue;
            }
            error = L"value \"" + name + L"\" of key " + key + L": " + reason;
            return false;
        }
    }

    std::wstring sharedText;
    for (const auto& entry : sharedRows) {
        for (const auto& row : entry.second) {
            sharedText += row.second;
        }
    }
    std::wstring shared;
    if (!sharedText.empty()) {
        std::wstring guid;
        if (!NameBasedGuid(sharedText, guid)) {
            error = L"no component code could be made for the rows both builds write (SHA-1 failed)";
            return false;
        }
        // The first row is the component's key path: the Installer's record of it.
        sharedText.insert(sharedText.find(L"/>"), L" KeyPath=\"yes\"");
        shared = L"    <DirectoryRef Id=\"TARGETDIR\">\r\n"
                 L"      <Component Id=\"" + fileId + L".shared\" Guid=\"" + guid + L"\" Win64=\"no\">\r\n" +
                 sharedText +
                 L"      </Component>\r\n"
                 L"    </DirectoryRef>\r\n";
    }
    text = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
           L"<!-- Harvested by vtlreg from the registration of " + XmlEscaped(fileName) +
           L": the file and exactly what its DllRegisterServer writes.\r\n"
           L"     The product places it in its directory INSTALLFOLDER; ModuleSource names the file to package.\r\n"
           L"     The component group holds the file's component and, where there are any, the rows that both\r\n"
           L"     builds (32-bit and 64-bit) write alike, in one 32-bit component that both packages carry. -->\r\n"
           L"<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\r\n"
           L"  <Fragment>\r\n"
           L"    <DirectoryRef Id=\"INSTALLFOLDER\">\r\n"
           L"      <Component Id=\"" + fileId + L"\" Guid=\"*\" Win64=\"" + (component.win64 ? L"yes" : L"no") +
           L"\">\r\n"
           L"        <File Id=\"" + fileId + L"\" Name=\"" + XmlEscaped(fileName) +
           L"\" Source=\"$(var.ModuleSource)\" KeyPath=\"yes\"/>\r\n" +
           ownRows +
           L"      </Component>\r\n"
           L"    </DirectoryRef>\r\n" +
           shared +
           L"    <ComponentGroup Id=\"" + fileId + L"\">\r\n"
           L"      <ComponentRef Id=\"" + fileId + L"\"/>\r\n" +
           (shared.empty() ? L"" : L"      <ComponentRef Id=\"" + fileId + L".shared\"/>\r\n") +
           L"    </ComponentGroup>\r\n"
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
