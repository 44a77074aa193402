#pragma once
// Runs a DLL's own registration with HKEY_CLASSES_ROOT redirected, so that what it writes
// lands in a key of our choosing and nowhere else.

#include <windows.h>

#include <string>

#include "registry_guard.h"
#include "registry_tree.h"
#include "server_module.h"

enum class Registration { kRegister, kUnregister };

struct RedirectedRun {
    HRESULT result = E_FAIL;  // what DllRegisterServer or DllUnregisterServer answered
    // What the call wrote to the real classes in spite of the redirect, relative to
    // HKEY_CLASSES_ROOT. It has been taken back already.
    RegistryChanges elsewhere;
};

// Calls the module's registration export with HKEY_CLASSES_ROOT redirected to `target`. The
// machine's classes, and the user's unless they are the target, are guarded for the length of
// the call. False, with the reason in `error`, when the redirect cannot be made or a guarded
// tree cannot be put back; the export's own failure is in run.result.
bool RunRedirected(const ServerModule& module, Registration registration, HKEY target, bool targetIsUserClasses,
                   RedirectedRun& run, std::wstring& error);

// What DllRegisterServer writes, as keys relative to HKEY_CLASSES_ROOT. It runs against a
// scratch key that is removed again, so nothing of it stays anywhere. False, with the reason,
// when the registration fails.
bool HarvestRegistration(const ServerModule& module, RegistrySnapshot& harvest, std::wstring& error);

// Has the automation runtime register type libraries where HKEY_CLASSES_ROOT is redirected
// to (OaEnablePerUserTLibRegistration), which it otherwise does not do on newer systems.
// False where the runtime has no such switch.
bool EnablePerUserTypeLibraries();

inline constexpr const wchar_t* kMachineClasses = L"Software\\Classes";  // below HKEY_LOCAL_MACHINE
inline constexpr const wchar_t* kUserClasses = L"Software\\Classes";     // below HKEY_CURRENT_USER
