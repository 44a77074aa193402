#pragma once
// Watches a registry tree that a call must not change, and puts it back afterwards.
//
// The registration of a DLL runs with HKEY_CLASSES_ROOT redirected to a key of vtlreg's own,
// but the platform does not always follow the redirect: under Wine, a key opened below
// HKEY_CLASSES_ROOT with KEY_WOW64_32KEY or KEY_WOW64_64KEY is the machine's key, so the
// 32-bit copies of a 64-bit type library's interface keys reach the machine hive. The guard
// sees such writes, takes them back and tells what they were, so that they can be sent where
// the redirect was meant to send them.

#include <windows.h>

#include <string>
#include <vector>

#include "registry_tree.h"
#include "runtime/unique_resource.h"

// What changed in a guarded tree, as paths relative to its root.
struct RegistryChanges {
    RegistrySnapshot written;               // keys made or changed, with the values made or changed
    std::vector<std::wstring> addedKeys;    // the outermost of the keys made
    std::vector<std::wstring> removedKeys;  // keys that went away, outermost first
    bool Empty() const { return written.empty() && removedKeys.empty(); }
};

class RegistryGuard {
public:
    // Reads the tree at root\path as it is now, and asks to be told of any change below it:
    // the tree is large (the machine's classes), and reading it a second time is needed only
    // when something changed.
    RegistryGuard(HKEY root, std::wstring path);

    // Compares the tree with what was read at the start, puts back every key and value that
    // changed, and returns what had changed. `restored` is false when something could not be
    // put back. Other programs' changes made meanwhile are taken back too: whoever writes the
    // guarded tree at the same time must wait.
    RegistryChanges Restore(bool& restored) const;

    const std::wstring& Path() const { return path_; }

private:
    HKEY root_;
    std::wstring path_;
    UniqueKey watched_;
    UniqueHandle changed_;  // signalled by the first change below the tree
    RegistrySnapshot before_;
};

// Applies changes to the tree at `target`: makes the written keys and values, removes the
// removed keys. False when something could not be applied.
bool ApplyRegistryChanges(HKEY target, const RegistryChanges& changes);
