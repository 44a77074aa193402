#include "redirected_registration.h"

#include <oleauto.h>

#include <memory>

#include "class_root_redirect.h"
#include "runtime/com_ptr.h"
#include "scratch_key.h"

namespace {

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40];
    return StringFromGUID2(guid, text, ARRAYSIZE(text)) ? text : L"";
}

// The keys of the classes that the module's registration is about, as its type library names
// them: the library, its interfaces and its classes, in this process's view and as the 32-bit
// view shows them beside it. The automation runtime writes them when it registers the library,
// and they are what the platform writes past the redirect. A module without a type library
// names none.
std::vector<std::wstring> TypeLibraryKeys(const std::wstring& module)
{
    std::vector<std::wstring> keys;
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(module.c_str(), REGKIND_NONE, library.Put()))) {
        return keys;
    }
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        keys.push_back(L"TypeLib\\" + GuidText(attributes->guid));
        library->ReleaseTLibAttr(attributes);
    }
    for (UINT index = 0, count = library->GetTypeInfoCount(); index < count; ++index) {
        ComPtr<ITypeInfo> info;
        TYPEATTR* type = nullptr;
        if (FAILED(library->GetTypeInfo(index, info.Put())) || FAILED(info->GetTypeAttr(&type))) {
            continue;
        }
        if (type->typekind == TKIND_COCLASS) {
            keys.push_back(L"CLSID\\" + GuidText(type->guid));
        } else if (type->typekind == TKIND_INTERFACE || type->typekind == TKIND_DISPATCH) {
            keys.push_back(L"Interface\\" + GuidText(type->guid));
        }
        info->ReleaseTypeAttr(type);
    }
    for (size_t index = 0, own = keys.size(); index < own; ++index) {
        keys.push_back(L"Wow6432Node\\" + keys[index]);
    }
    return keys;
}

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
    const std::vector<std::wstring> keys = TypeLibraryKeys(module.Path());
    RegistryGuard machine(HKEY_LOCAL_MACHINE, kMachineClasses, keys);
    std::unique_ptr<RegistryGuard> user;
    if (!targetIsUserClasses) {
        user = std::make_unique<RegistryGuard>(HKEY_CURRENT_USER, kUserClasses, keys);
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
        error = L"cannot read or put back what the registration changed in HKEY_LOCAL_MACHINE\\Software\\Classes";
        return false;
    }
    if (user) {
        Merge(run.elsewhere, user->Restore(restored));
        if (!restored) {
            error = L"cannot read or put back what the registration changed in HKEY_CURRENT_USER\\Software\\Classes";
            return false;
        }
    }
    return true;
}

bool HarvestRegistration(const ServerModule& module, RegistrySnapshot& harvest, std::wstring& error)
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
        // What it wrote past the redirect, outside the keys watched, is taken back by its own
        // unregistration, as a failed per-user install is.
        RedirectedRun undo;
        std::wstring ignored;
        (void)RunRedirected(module, Registration::kUnregister, scratch.Get(), false, undo, ignored);
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
