#include "redirected_registration.h"

#include <memory>

#include "class_root_redirect.h"
#include "scratch_key.h"

namespace {

void Merge(RegistryChanges& into, const RegistryChanges& from)
{
    for (const auto& [key, values] : from.written) {
        RegistryValues& target = into.written[key];
        for (const auto& [name, value] : values) {
            target[name] = value;
        }
    }
    into.addedKeys.insert(into.addedKeys.end(), from.addedKeys.begin(), from.addedKeys.end());
    into.removedKeys.insert(into.removedKeys.end(), from.removedKeys.begin(), from.removedKeys.end());
}

}  // namespace

bool RunRedirected(const ServerModule& module, Registration registration, HKEY target, bool targetIsUserClasses,
                   RedirectedRun& run, std::wstring& error)
{
    RegistryGuard machine(HKEY_LOCAL_MACHINE, kMachineClasses);
    std::unique_ptr<RegistryGuard> user;
    if (!targetIsUserClasses) {
        user = std::make_unique<RegistryGuard>(HKEY_CURRENT_USER, kUserClasses);
    }
    {
        ClassRootRedirect redirect(target);
        if (redirect.Status() != ERROR_SUCCESS) {
            error = L"cannot redirect HKEY_CLASSES_ROOT (" + SystemErrorText(redirect.Status()) + L")";
            return false;
        }
        run.result = registration == Registration::kRegister ? module.Register() : module.Unregister();
    }
    bool restored = true;
    run.elsewhere = machine.Restore(restored);
    if (!restored) {
        error = L"cannot put back what the registration changed in HKEY_LOCAL_MACHINE\\Software\\Classes";
        return false;
    }
    if (user) {
        Merge(run.elsewhere, user->Restore(restored));
        if (!restored) {
            error = L"cannot put back what the registration changed in HKEY_CURRENT_USER\\Software\\Classes";
            return false;
        }
    }
    return true;
}

bool HarvestRegistration(const ServerModule& module, RegistrySnapshot& harvest, std::wstring& error,
                         RegistryChanges* pastRedirect)
{
    ScratchKey scratch;
    if (scratch.Status() != ERROR_SUCCESS) {
        error = L"cannot make a scratch key under HKEY_CURRENT_USER\\Software (" + SystemErrorText(scratch.Status()) +
                L")";
        return false;
    }
    RedirectedRun run;
    if (!RunRedirected(module, Registration::kRegister, scratch.Get(), false, run, error)) {
        return false;
    }
    if (FAILED(run.result)) {
        error = L"DllRegisterServer of " + module.Path() + L" failed with " + HresultText(run.result);
        return false;
    }
    harvest = TakeRegistrySnapshot(scratch.Get());
    if (harvest.count(L"") && harvest[L""].empty()) {
        harvest.erase(L"");
    }
    for (const auto& [key, values] : run.elsewhere.written) {
        RegistryValues& into = harvest[key];
        for (const auto& [name, value] : values) {
            into[name] = value;
        }
    }
    if (pastRedirect) {
        *pastRedirect = run.elsewhere;
    }
    return true;
}

bool EnablePerUserTypeLibraries()
{
    HMODULE automation = GetModuleHandleW(L"oleaut32.dll");
    if (!automation) {
        automation = LoadLibraryW(L"oleaut32.dll");  // stays loaded for the rest of the run
    }
    using Switch = void(WINAPI*)();
    auto enable = automation ? reinterpret_cast<Switch>(reinterpret_cast<void*>(
                                   GetProcAddress(automation, "OaEnablePerUserTLibRegistration")))
                             : nullptr;
    if (!enable) {
        return false;
    }
    enable();
    return true;
}
