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

// Removes the keys of the harvest, and the parents on their way, that hold nothing any more,
// deepest first.
void RemoveEmptyKeys(HKEY classes, const RegistrySnapshot& harvest)
{
    std::set<std::wstring, RegistryNameLess> keys;
    for (const auto& entry : harvest) {
        for (std::wstring key = entry.first; !key.empty(); key = ParentKeyPath(key)) {
            keys.insert(key);
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
    RegistryChanges pastRedirect;  // the part of the harvest the platform wrote past the redirect
    UniqueKey classes;
};

bool PrepareUserTarget(const ServerModule& module, UserTarget& target, std::wstring& error)
{
    return HarvestRegistration(module, target.harvest, error, &target.pastRedirect) &&
           OpenUserClasses(target.classes, error);
}

// Runs the unregistration against the user's classes, then removes what it leaves there of
// the registration: the keys sent there in the platform's place (its own unregistration takes
// them from where it would have put them) and the parents left empty. The removal is done
// even when the run fails, since it also undoes a failed install.
bool UnregisterForUser(const ServerModule& module, const UserTarget& target, HRESULT& result, std::wstring& error)
{
    bool ran = RunForUser(module, Registration::kUnregister, target.classes.Get(), result, error);
    RegistryChanges sentHere;
    sentHere.removedKeys = target.pastRedirect.addedKeys;
    ApplyRegistryChanges(target.classes.Get(), sentHere);
    RemoveEmptyKeys(target.classes.Get(), target.harvest);
    return ran;
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
    // Whatever failed, the registration may have written the user's classes already: its own
    // unregistration takes that back.
    HRESULT ignored = S_OK;
    std::wstring ignoredError;
    (void)UnregisterForUser(module, target, ignored, ignoredError);
    return false;
}

bool UninstallForUser(const ServerModule& module, std::wstring& error)
{
    UserTarget target;
    HRESULT result = E_FAIL;
    if (!PrepareUserTarget(module, target, error) || !UnregisterForUser(module, target, result, error)) {
        return false;
    }
    if (FAILED(result)) {
        error = L"DllUnregisterServer of " + module.Path() + L" failed with " + HresultText(result);
        return false;
    }
    return true;
}
