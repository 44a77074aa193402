#include "registry_fixture.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "regscript/block_interpreter.h"

namespace {

const wchar_t kTestRoot[] = L"Software\\vtlMenuTests\\Regscript\\";

void DumpInto(HKEY key, const std::wstring& path, std::vector<std::wstring>& lines)
{
    wchar_t name[16384];
    BYTE data[8192];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384, size = sizeof(data), type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size)) {
            break;
        }
        std::wstring line = path + L":" + name + L"=";
        if (type == REG_SZ) {
            line += L"S " + std::wstring(reinterpret_cast<wchar_t*>(data), size / 2 - 1);
        } else if (type == REG_DWORD) {
            line += L"D " + std::to_wstring(*reinterpret_cast<DWORD*>(data));
        } else {
            line += L"B ";
            for (DWORD at = 0; at < size; ++at) {
                wchar_t hex[3];
                wsprintfW(hex, L"%02x", data[at]);
                line += hex;
            }
        }
        lines.push_back(line);
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr)) {
            break;
        }
        std::wstring child = path.empty() ? name : path + L"\\" + name;
        lines.push_back(child + L"/");
        HKEY sub;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            DumpInto(sub, child, lines);
            RegCloseKey(sub);
        }
    }
}

}  // namespace

TestKey::TestKey(const std::wstring& name) : path_(kTestRoot + name)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key_, nullptr));
}

TestKey::~TestKey()
{
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
}

std::wstring TestKey::ScriptHead() const
{
    std::wstring head = L"HKCU {";
    size_t start = 0;
    for (size_t end; (end = path_.find(L'\\', start)) != std::wstring::npos; start = end + 1) {
        head += L" NoRemove " + path_.substr(start, end - start) + L" {";
    }
    return head + L" NoRemove " + path_.substr(start) + L" {";
}

std::wstring Dump(HKEY key)
{
    std::vector<std::wstring> lines;
    DumpInto(key, L"", lines);
    std::sort(lines.begin(), lines.end());
    std::wstring text;
    for (const std::wstring& line : lines) {
        text += line + L"\n";
    }
    return text;
}

void MakeKey(HKEY parent, const std::wstring& path, const wchar_t* value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    if (value) {
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * 2));
    }
    RegCloseKey(key);
}

void SetString(HKEY parent, const std::wstring& path, const wchar_t* name, const wchar_t* value)
{
    RegSetKeyValueW(parent, path.c_str(), name, REG_SZ, value,
                    static_cast<DWORD>((wcslen(value) + 1) * 2));
}

HRESULT RunBlock(const std::wstring& entries, HKEY parent, bool doRegister)
{
    WCHAR token[kTokenUnits];
    ScriptReader reader = {entries.c_str(), nullptr};
    HRESULT result = ProcessBlock(reader, token, parent, doRegister, false);
    if (SUCCEEDED(result)) {
        EXPECT_STREQ(L"}", token);
        SkipBlanks(reader);
        EXPECT_STREQ(L"", reader.cursor) << "the block ended before its own closing brace";
    }
    return result;
}
