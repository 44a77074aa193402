#include "registry_guard.h"

#include "runtime/unique_resource.h"

namespace {

bool SetValue(HKEY key, const std::wstring& name, const RegistryValue& value)
{
    return RegSetValueExW(key, name.empty() ? nullptr : name.c_str(), 0, value.type,
                          value.data.empty() ? nullptr : value.data.data(),
                          static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
}

bool WriteKey(HKEY root, const std::wstring& path, const RegistryValues& values)
{
    UniqueKey key;
    if (RegCreateKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    bool written = true;
    for (const auto& [name, value] : values) {
        written = SetValue(key.Get(), name, value) && written;
    }
    return written;
}

// Removes the key and everything below it; a key that is not there is removed already.
bool RemoveTree(HKEY root, const std::wstring& path)
{
    LONG status = RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    status = RegDeleteKeyW(root, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// key\relative, or the key itself for the empty relative path.
std::wstring Below(const std::wstring& key, const std::wstring& relative)
{
    return relative.empty() ? key : key + L"\\" + relative;
}

// The outermost key on the way from root\path down to root\path\key that cannot be opened,
// or `key` itself when all of them can.
std::wstring OutermostMissing(HKEY root, const std::wstring& path, const std::wstring& key)
{
    for (size_t end = key.find(L'\\');; end = key.find(L'\\', end + 1)) {
        std::wstring part = key.substr(0, end);
        UniqueKey open;
        if (end == std::wstring::npos ||
            RegOpenKeyExW(root, JoinKeyPath(path, part).c_str(), 0, KEY_READ, open.Put()) != ERROR_SUCCESS) {
            return part;
        }
    }
}

}  // namespace

RegistryGuard::RegistryGuard(HKEY root, std::wstring path, const std::vector<std::wstring>& keys)
    : root_(root), path_(std::move(path))
{
    for (const std::wstring& key : keys) {
        if (key.empty()) {
            continue;  // the tree itself is never watched, nor ever removed
        }
        WatchedKey entry{OutermostMissing(root_, path_, key), {}, false};
        bool known = false;  // several keys may wait below the same missing parent
        for (const WatchedKey& other : watched_) {
            known = known || other.path == entry.path;
        }
        if (!known) {
            entry.before = TakeRegistrySnapshot(root_, JoinKeyPath(path_, entry.path), 0, &entry.readable);
            watched_.push_back(std::move(entry));
        }
    }
}

RegistryChanges RegistryGuard::Restore(bool& restored) const
{
    restored = true;
    RegistryChanges changes;
    // The tree is opened for writing only once something changed: the caller may not be allowed
    // to write there at all.
    UniqueKey tree;
    for (const WatchedKey& key : watched_) {
        bool readable = false;
        RegistrySnapshot now = TakeRegistrySnapshot(root_, JoinKeyPath(path_, key.path), 0, &readable);
        if (!key.readable || !readable) {
            restored = false;
            continue;
        }
        if (now == key.before) {
            continue;
        }
        (key.before.empty() ? changes.addedKeys : changes.removedKeys).push_back(key.path);
        for (const auto& [relative, values] : now) {
            changes.written[Below(key.path, relative)] = values;
        }
        if (!tree && RegOpenKeyExW(root_, path_.c_str(), 0, KEY_ALL_ACCESS, tree.Put()) != ERROR_SUCCESS) {
            restored = false;
            continue;
        }
        // The key goes and comes back as it was, parents first (the snapshot's order).
        restored = RemoveTree(tree.Get(), key.path) && restored;
        for (const auto& [relative, values] : key.before) {
            restored = WriteKey(tree.Get(), Below(key.path, relative), values) && restored;
        }
    }
    return changes;
}

bool ApplyRegistryChanges(HKEY target, const RegistryChanges& changes)
{
    bool applied = true;
    for (const std::wstring& key : changes.removedKeys) {
        applied = RemoveTree(target, key) && applied;
    }
    for (const auto& [key, values] : changes.written) {
        applied = WriteKey(target, key, values) && applied;
    }
    return applied;
}
