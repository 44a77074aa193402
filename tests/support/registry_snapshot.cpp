#include "registry_snapshot.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t unit : text) {
        result += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return result;
}

}  // namespace

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

RegistrySnapshot RegistryWrites(const RegistrySnapshot& before, const RegistrySnapshot& after)
{
    RegistrySnapshot writes;
    for (const auto& [key, values] : after) {
        auto old = before.find(key);
        if (old == before.end()) {
            writes[key] = values;
            continue;
        }
        for (const auto& [name, value] : values) {
            auto oldValue = old->second.find(name);
            if (oldValue == old->second.end() || !(oldValue->second == value)) {
                writes[key][name] = value;
            }
        }
    }
    return writes;
}
