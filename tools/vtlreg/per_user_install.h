#pragma once
// Registration for the current user alone: the DLL's own registration, run with
// HKEY_CLASSES_ROOT redirected to HKEY_CURRENT_USER\Software\Classes, which a user may write
// without administrator rights.

#include <string>

#include "server_module.h"

// Registers the module under HKEY_CURRENT_USER\Software\Classes. The registration is first
// run against a scratch key, so that a DLL that fails to register leaves nothing behind; the
// number of keys it writes goes to `keys`. False, with the reason, on failure; then what it
// wrote to the user's classes is taken back as UninstallForUser takes it back.
bool InstallForUser(const ServerModule& module, size_t& keys, std::wstring& error);

// Removes from HKEY_CURRENT_USER\Software\Classes what the module's registration writes (its
// harvest): each value still as the registration writes it, and the keys left empty.
bool UninstallForUser(const ServerModule& module, std::wstring& error);
