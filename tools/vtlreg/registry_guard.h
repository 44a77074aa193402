#pragma once
// Watches the keys that a DLL's registration is about, in a classes tree that the registration
// must not change, and puts them back afterwards.
//
// The registration of a DLL runs with HKEY_CLASSES_ROOT redirected to a key of vtlreg's own,
// but the platform does not always follow the redirect: under Wine, a key opened below
// HKEY_CLASSES_ROOT with KEY_WOW64_32KEY or KEY_WOW64_64KEY is the machine's key, so the
// 32-bit copies of a 64-bit type library's interface keys reach the machine hive. The guard
// sees such writes, takes them back and tells what they were, so that they can be sent where
// the redirect was meant to send them. It watches the named keys alone: other programs write
// the classes all the time, and what they write is theirs.

#include <windows.h>

#include <string>
#include <vector>

#include "registry_tree.h"

// What changed in a guarded tree, key by watched key, as paths relative to its root. Applied
// elsewhere, the removals and then the writes leave each watched key as the change left it.
struct RegistryChanges {
    RegistrySnapshot written;               // the keys made or changed, whole, as they are now
    std::vector<std::wstring> addedKeys;    // the watched keys that were not there
    std::vector<std::wstring> removedKeys;  // the watched keys that were there: gone, or changed
    bool Empty() const { return written.empty() && removedKeys.empty(); }
};

class RegistryGuard {
public:
    // Reads the keys `keys` (paths relative to root\path) as they are now. A key that is not
    // there is watched from its outermost parent that is not there either, so that the parents
    // a write makes on the way are taken back with it; root\path itself is never watched.
    RegistryGuard(HKEY root, std::wstring path, const std::vector<std::wstring>& keys);

    // Puts back every watched key that changed, and returns what had changed. `restored` is
    // false when something could not be put back, or a watched key could not be read (before
    // or now): nothing is put back from a reading that is not whole.
    RegistryChanges Restore(bool& restored) const;

private:
    struct WatchedKey {
        std::wstring path;  // relative to root\path
        RegistrySnapshot before;
        bool readable;
    };

    HKEY root_;
    std::wstring path_;
    std::vector<WatchedKey> watched_;
};

// Applies changes to the tree at `target`: makes the written keys and values, removes the
// removed keys. False when something could not be applied.
bool ApplyRegistryChanges(HKEY target, const RegistryChanges& changes);
