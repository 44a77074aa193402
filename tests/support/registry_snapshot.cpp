#include "registry_snapshot.h"

#include "runtime/unique_resource.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t unit : text) {
        result += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return result;
}

// The view is named at every opening: on a predefined root only the flag chooses the view.
void ReadTree(HKEY key, const std::wstring& path, REGSAM view, RegistrySnapshot& snapshot)
{
    auto& values = snapshot[path];
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(64 * 1024);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                    data.data(), &dataSize);
        if (status == ERROR_MORE_DATA) {
            data.resize(dataSize);
            --index;
            continue;
        }
        if (status != ERROR_SUCCESS) {
            break;
        }
        values[std::wstring(name.data(), nameLength)] =
            RegistryValue{type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)};
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        std::wstring child(name.data(), nameLength);
        UniqueKey childKey;
        if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, childKey.Put()) == ERROR_SUCCESS) {
            ReadTree(childKey.Get(), path.empty() ? child : path + L"\\" + child, view, snapshot);
        }
    }
}

}  // namespace

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path, REGSAM view)
{
    RegistrySnapshot snapshot;
    UniqueKey key;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ | view, key.Put()) ==
        ERROR_SUCCESS) {
        ReadTree(key.Get(), L"", view, snapshot);
    }
    return snapshot;
}

std::vector<std::string> RegistryDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after, size_t limit)
{
    std::vector<std::string> lines;
    auto add = [&](const std::string& line) {
        if (lines.size() < limit) {
            lines.push_back(line);
        }
    };
    for (const auto& [key, values] : before) {
        auto found = after.find(key);
        if (found == after.end()) {
            add("- " + Narrow(key));
            continue;
        }
        for (const auto& [name, value] : values) {
            auto other = found->second.find(name);
            if (other == found->second.end()) {
                add("- " + Narrow(key) + "\\[" + Narrow(name) + "]");
            } else if (!(other->second == value)) {
                add("~ " + Narrow(key) + "\\[" + Narrow(name) + "]");
            }
        }
        for (const auto& [name, value] : found->second) {
            if (!values.count(name)) {
                add("+ " + Narrow(key) + "\\[" + Narrow(name) + "]");
            }
        }
    }
    for (const auto& [key, values] : after) {
        if (!before.count(key)) {
            add("+ " + Narrow(key));
        }
    }
    return lines;
}

std::vector<std::wstring> AddedKeys(const RegistrySnapshot& before, const RegistrySnapshot& after)
{
    std::vector<std::wstring> added;
    for (const auto& entry : after) {
        if (!before.count(entry.first)) {
            added.push_back(entry.first);
        }
    }
    return added;
}
