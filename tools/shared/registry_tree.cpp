#include "registry_tree.h"

#include "runtime/unique_resource.h"

namespace {

struct TreeWalk {
    REGSAM view;
    RegistrySnapshot& snapshot;
    std::vector<wchar_t> name = std::vector<wchar_t>(16384);
    std::vector<BYTE> data = std::vector<BYTE>(64 * 1024);

    void Read(HKEY key, const std::wstring& path)
    {
        RegistryValues& values = snapshot[path];
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
        std::vector<std::wstring> children;
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                break;
            }
            children.emplace_back(name.data(), nameLength);
        }
        for (const std::wstring& child : children) {
            UniqueKey childKey;
            if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, childKey.Put()) == ERROR_SUCCESS) {
                Read(childKey.Get(), JoinKeyPath(path, child));
            }
        }
    }
};

}  // namespace

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path, REGSAM view)
{
    RegistrySnapshot snapshot;
    UniqueKey key;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ | view, key.Put()) ==
        ERROR_SUCCESS) {
        TreeWalk{view, snapshot}.Read(key.Get(), L"");
    }
    return snapshot;
}

std::wstring JoinKeyPath(const std::wstring& parent, const std::wstring& child)
{
    return parent.empty() ? child : parent + L"\\" + child;
}

std::wstring ParentKeyPath(const std::wstring& path)
{
    size_t end = path.find_last_of(L'\\');
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}
