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

std::wstring ParentKey(const std::wstring& key)
{
    size_t end = key.find_last_of(L'\\');
    return end == std::wstring::npos ? std::wstring() : key.substr(0, end);
}

// Removes the keys of the harvest, and the parents on their way, that hold nothing any more,
// deepest first.
void RemoveEmptyKeys(HKEY classes, const RegistrySnapshot& harvest)
{
    std::set<std::wstring, RegistryNameLess> keys;
    for (const auto& entry : harvest) {
        for (std::wstring key = entry.first; !key.empty(); key = ParentKey(key)) {
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

}  // namespace

bool InstallForUser(const ServerModule& module, size_t& keys, std::wstring& error)
{
    RegistrySnapshot harvest;
    if (!HarvestRegistration(module, harvest, error)) {
        return false;
    }
    keys = harvest.size();
    UniqueKey classes;
    if (!OpenUserClasses(classes, error)) {
        return false;
    }
    HRESULT result = E_FAIL;
    if (!RunForUser(module, Registration::kRegister, classes.Get(), result, error)) {
        return false;
    }
    if (FAILED(result)) {
        // It registered against the scratch key a moment ago; take back whatever it left.
        HRESULT ignored = S_OK;
        std::wstring ignoredError;
        RunForUser(module, Registration::kUnregister, classes.Get(), ignored, ignoredError);
        RemoveEmptyKeys(classes.Get(), harvest);
        error = L"DllRegisterServer of " + module.Path() + L" failed with " + HresultText(result);
        return false;
    }
    return true;
}

bool UninstallForUser(const ServerModule& module, std::wstring& error)
{
    RegistrySnapshot harvest;
    RegistryChanges pastRedirect;
    if (!HarvestRegistration(module, harvest, error, &pastRedirect)) {
        return false;
    }
    UniqueKey classes;
    if (!OpenUserClasses(classes, error)) {
        return false;
    }
    HRESULT result = E_FAIL;
    if (!RunForUser(module, Registration::kUnregister, classes.Get(), result, error)) {
        return false;
    }
    // The keys that install sent here in the platform's place: the platform's unregistration
    // takes them from where it put them, which is not here, and only where they are.
    RegistryChanges sentHere;
    sentHere.removedKeys = pastRedirect.addedKeys;
    ApplyRegistryChanges(classes.Get(), sentHere);
    RemoveEmptyKeys(classes.Get(), harvest);
    if (FAILED(result)) {
        error = L"DllUnregisterServer of " + module.Path() + L" failed with " + HresultText(result);
        return false;
    }
    return true;
}
