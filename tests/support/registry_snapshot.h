#pragma once
// Comparing the whole content of a registry tree (registry_tree.h) before and after an
// operation.

#include <string>
#include <vector>

#include "registry_tree.h"

// Human-readable lines for every key and value that differs ("+ key", "- key",
// "~ key\value"), at most `limit` of them.
std::vector<std::string> RegistryDifferences(const RegistrySnapshot& before,
                                             const RegistrySnapshot& after, size_t limit = 40);

// The keys present in `after` and not in `before`.
std::vector<std::wstring> AddedKeys(const RegistrySnapshot& before, const RegistrySnapshot& after);

// What an operation wrote: the keys of `after` that are new or hold new or changed values,
// each with those values only.
RegistrySnapshot RegistryWrites(const RegistrySnapshot& before, const RegistrySnapshot& after);
