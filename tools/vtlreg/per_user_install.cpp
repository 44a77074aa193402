#include "per_user_install.h"

#include <set>

#include "redirected_registration.h"
#include "runtime/unique_resource.h"

namespace {

bool OpenUserClasses(UniqueKey& classes, std::wstring& error)
{
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  classes.Put(), nullptr);
    if (status != ERROR_SUCCESS) {
        error = L"cannot open HKEY_CURRENT_USER\\Software\\Classes (" + SystemErrorText(status) + L")";
        return false;
    }
    return true;
}

// Runs the registration export against the user's classes and sends there too what the
// platform wrote to the real classes instead.
bool RunForUser(const ServerModule& module, Registration registration, HKEY classes, HRESULT& result,
                std::wstring& error)
{
    RedirectedRun run;
    if (!RunRedirected(module, registration, classes, true, run, error)) {
        return false;
    }
    result = run.result;
    if (!ApplyRegistryChanges(classes, run.elsewhere)) {
        error = L"cannot write what the registration sent past the redirect into HKEY_CURRENT_USER\\Software\\Classes";
        return false;
    }
    return true;
}

// True when the key's value `name` holds exactly `value`.
bool HoldsValue(HKEY key, const std::wstring& name, const RegistryValue& value)
{
    DWORD type = 0;
    DWORD size = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != value.type ||
        size != value.data.size()) {
        return false;
    }
    std::vector<BYTE> data(size);
    return RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size) == ERROR_SUCCESS &&
           data == value.data;
}

// Takes the registration out of the user's classes: each value of the harvest that still holds
// what the harvest gives it, then the keys of the harvest, and the parents on their way, that
// hold nothing any more, deepest first. What others changed or added there stays. The module's
// own unregistration is not run for this: it keeps what the machine's other build shares with
// it and registers that build's type library again, which a per-user registration shares with
// no other build.
void RemoveRegistration(HKEY classes, const RegistrySnapshot& harvest)
{
    std::set<std::wstring, RegistryNameLess> keys;
    for (const auto& [path, values] : harvest) {
        UniqueKey key;
        if (RegOpenKeyExW(classes, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put()) == ERROR_SUCCESS) {
            for (const auto& [name, value] : values) {
                if (HoldsValue(key.Get(), name, value)) {
                    RegDeleteValueW(key.Get(), name.empty() ? nullptr : name.c_str());
                }
            }
        }
        for (std::wstring parent = path; !parent.empty(); parent = ParentKeyPath(parent)) {
            keys.insert(parent);
        }
    }
    for (auto entry = keys.rbegin(); entry != keys.rend(); ++entry) {
        UniqueKey key;
        if (RegOpenKeyExW(classes, entry->c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
            continue;
        }
        DWORD subkeys = 0;
        DWORD values = 0;
        LONG status = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                       nullptr, nullptr, nullptr, nullptr);
        key.Reset();
        if (status == ERROR_SUCCESS && subkeys == 0 && values == 0) {
            RegDeleteKeyW(classes, entry->c_str());
        }
    }
}

// What the module's registration writes, and the user's classes opened for writing.
struct UserTarget {
    RegistrySnapshot harvest;
    UniqueKey classes;
};

bool PrepareUserTarget(const ServerModule& module, UserTarget& target, std::wstring& error)
{
    return HarvestRegistration(module, target.harvest, error) &&
           OpenUserClasses(target.classes, error);
}

}  // namespace

bool InstallForUser(const ServerModule& module, size_t& keys, std::wstring& error)
{
    UserTarget target;
    if (!PrepareUserTarget(module, target, error)) {
        return false;
    }
    keys = target.harvest.size();
    HRESULT result = E_FAIL;
    bool ran = RunForUser(module, Registration::kRegister, target.classes.Get(), result, error);
    if (ran && SUCCEEDED(result)) {
        return true;
    }
    if (ran) {
        error = L"DllRegisterServer of " + module.Path() + L" failed with " + HresultText(result);
    }
    // Whatever failed, the registration may have written the user's classes already.
    RemoveRegistration(target.classes.Get(), target.harvest);
    return false;
}

bool UninstallForUser(const ServerModule& module, std::wstring& error)
{
    UserTarget target;
    if (!PrepareUserTarget(module, target, error)) {
        return false;
    }
    RemoveRegistration(target.classes.Get(), target.harvest);
    return true;
}
