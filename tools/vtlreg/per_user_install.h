#pragma once
// Registration for the current user alone: the DLL's own registration, run with
// HKEY_CLASSES_ROOT redirected to HKEY_CURRENT_USER\Software\Classes, which a user may write
// without administrator rights.

#include <string>

#include "server_module.h"

// Registers the module under HKEY_CURRENT_USER\Software\Classes. The registration is first
// run against a scratch key, so that a DLL that fails to register leaves nothing behind; the
// number of keys it writes goes to `keys`. False, with the reason, on failure; when the run
// against the user's classes fails, or what it did elsewhere cannot be put right, the module's
// own unregistration takes back what it wrote there.
bool InstallForUser(const ServerModule& module, size_t& keys, std::wstring& error);

// Runs the module's unregistration under HKEY_CURRENT_USER\Software\Classes, then removes the
// keys its registration makes that are left empty (the parents it never removes itself).
bool UninstallForUser(const ServerModule& module, std::wstring& error);
