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

}  // namespace

RegistryGuard::RegistryGuard(HKEY root, std::wstring path) : root_(root), path_(std::move(path))
{
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_NOTIFY, watched_.Put()) == ERROR_SUCCESS) {
        changed_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!changed_ || RegNotifyChangeKeyValue(watched_.Get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                 changed_.Get(), TRUE) != ERROR_SUCCESS) {
            changed_.Reset();
        }
    }
    before_ = TakeRegistrySnapshot(root_, path_);
}

RegistryChanges RegistryGuard::Restore(bool& restored) const
{
    restored = true;
    RegistryChanges changes;
    if (changed_ && WaitForSingleObject(changed_.Get(), 0) == WAIT_TIMEOUT) {
        return changes;  // nothing below the tree changed
    }
    RegistrySnapshot after = TakeRegistrySnapshot(root_, path_);
    bool changed = false;
    std::vector<std::wstring>& added = changes.addedKeys;
    for (const auto& [key, values] : after) {
        auto old = before_.find(key);
        if (old == before_.end()) {
            changed = true;
            changes.written[key] = values;
            if (key.empty() || before_.count(ParentKeyPath(key))) {
                added.push_back(key);
            }
            continue;
        }
        for (const auto& [name, value] : values) {
            auto oldValue = old->second.find(name);
            if (oldValue == old->second.end() || !(oldValue->second == value)) {
                changed = true;
                changes.written[key][name] = value;
            }
        }
        for (const auto& entry : old->second) {
            changed = changed || values.count(entry.first) == 0;
        }
    }
    for (const auto& entry : before_) {
        if (!after.count(entry.first)) {
            changed = true;
            if (entry.first.empty() || after.count(ParentKeyPath(entry.first))) {
                changes.removedKeys.push_back(entry.first);
            }
        }
    }
    if (!changed) {
        return changes;
    }

    // Something changed: the tree is opened for writing only now, since the caller may not be
    // allowed to write there at all.
    if (!added.empty() && added.front().empty()) {
        restored = RemoveTree(root_, path_);
        return changes;
    }
    UniqueKey tree;
    if (RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, tree.Put(), nullptr) !=
        ERROR_SUCCESS) {
        restored = false;
        return changes;
    }
    for (const std::wstring& key : added) {
        restored = RemoveTree(tree.Get(), key) && restored;
    }
    // Keys that went away come back with their values, parents first (the snapshot's order).
    for (const auto& [key, values] : before_) {
        auto now = after.find(key);
        if (now == after.end()) {
            restored = WriteKey(tree.Get(), key, values) && restored;
            continue;
        }
        UniqueKey open;
        if (RegOpenKeyExW(tree.Get(), key.empty() ? nullptr : key.c_str(), 0, KEY_ALL_ACCESS, open.Put()) !=
            ERROR_SUCCESS) {
            restored = false;
            continue;
        }
        for (const auto& [name, value] : values) {
            auto current = now->second.find(name);
            if (current == now->second.end() || !(current->second == value)) {
                restored = SetValue(open.Get(), name, value) && restored;
            }
        }
        for (const auto& entry : now->second) {
            if (!values.count(entry.first)) {
                LONG status = RegDeleteValueW(open.Get(), entry.first.empty() ? nullptr : entry.first.c_str());
                restored = status == ERROR_SUCCESS && restored;
            }
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
