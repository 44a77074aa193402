#include "registry_tree.h"

#include "runtime/unique_resource.h"

namespace {

struct TreeWalk {
    REGSAM view;
    RegistrySnapshot& snapshot;
    bool complete = true;  // false once a key or value below the root could not be read
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
                complete = complete && status == ERROR_NO_MORE_ITEMS;
                break;
            }
            values[std::wstring(name.data(), nameLength)] =
                RegistryValue{type, std::vector<BYTE>(data.begin(), data.begin() + dataSize)};
        }
        std::vector<std::wstring> children;
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            LONG status = RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) {
                complete = complete && status == ERROR_NO_MORE_ITEMS;
                break;
            }
            children.emplace_back(name.data(), nameLength);
        }
        for (const std::wstring& child : children) {
            UniqueKey childKey;
            LONG status = RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, childKey.Put());
            if (status == ERROR_SUCCESS) {
                Read(childKey.Get(), JoinKeyPath(path, child));
            } else {
                complete = complete && status == ERROR_FILE_NOT_FOUND;  // gone since it was listed
            }
        }
    }
};

}  // namespace

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::wstring& path, REGSAM view, bool* complete)
{
    RegistrySnapshot snapshot;
    UniqueKey key;
    LONG status = RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ | view, key.Put());
    TreeWalk walk{view, snapshot};
    if (status == ERROR_SUCCESS) {
        walk.Read(key.Get(), L"");
    }
    if (complete) {
        *complete = status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && walk.complete);
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
