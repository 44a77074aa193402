// vtlreg: installer tables and per-user installs from a DLL's own registration.
//   vtlreg harvest <dll> --reg <file> [--module-path <text>]
//   vtlreg harvest <dll> --wix <file>
//   vtlreg install --user <dll>
//   vtlreg uninstall --user <dll>
// Every mode loads the DLL and calls its DllRegisterServer (or DllUnregisterServer) with
// HKEY_CLASSES_ROOT redirected to a key of vtlreg's own, so that nothing but the target is
// written: a harvest reads what the call wrote and writes it out as a registry file or a WiX
// fragment; the per-user modes point the redirect at HKEY_CURRENT_USER\Software\Classes.
// Exit codes: 0 done; 1 a failure (the DLL does not load, is no COM server, fails to
// register, or the output cannot be written); 2 wrong use.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>

#include "com_apartment.h"
#include "output_file.h"
#include "per_user_install.h"
#include "redirected_registration.h"
#include "reg_file.h"
#include "module_path_text.h"
#include "wix_fragment.h"

namespace {

const char kUsage[] =
    "usage: vtlreg harvest <dll> --reg <file> [--module-path <text>]\n"
    "       vtlreg harvest <dll> --wix <file>\n"
    "       vtlreg install --user <dll>\n"
    "       vtlreg uninstall --user <dll>\n"
    "  --reg <file>          a registry file for reg import or regedit, keys under HKEY_CLASSES_ROOT\n"
    "  --module-path <text>  write <text> where the registration names the DLL's own path\n"
    "  --wix <file>          a WiX fragment: one component with the file and its registry\n"
    "  --user                register or unregister under HKEY_CURRENT_USER\\Software\\Classes only\n";

struct Arguments {
    std::wstring mode;
    std::wstring dll;
    std::wstring regFile;
    std::wstring wixFile;
    std::wstring modulePath;
    bool hasModulePath = false;
    bool user = false;
};

bool Parse(int argc, wchar_t** argv, Arguments& arguments)
{
    if (argc < 2) {
        return false;
    }
    arguments.mode = argv[1];
    for (int index = 2; index < argc; ++index) {
        std::wstring argument = argv[index];
        bool hasValue = index + 1 < argc;
        if (argument == L"--reg" && hasValue) {
            arguments.regFile = argv[++index];
        } else if (argument == L"--wix" && hasValue) {
            arguments.wixFile = argv[++index];
        } else if (argument == L"--module-path" && hasValue) {
            arguments.modulePath = argv[++index];
            arguments.hasModulePath = true;
        } else if (argument == L"--user") {
            arguments.user = true;
        } else if (argument.rfind(L"--", 0) != 0 && arguments.dll.empty()) {
            arguments.dll = argument;
        } else {
            return false;
        }
    }
    if (arguments.dll.empty()) {
        return false;
    }
    if (arguments.mode == L"harvest") {
        bool oneOutput = arguments.regFile.empty() != arguments.wixFile.empty();
        return oneOutput && !arguments.user && (!arguments.hasModulePath || !arguments.regFile.empty());
    }
    if (arguments.mode == L"install" || arguments.mode == L"uninstall") {
        return arguments.user && arguments.regFile.empty() && arguments.wixFile.empty() && !arguments.hasModulePath;
    }
    return false;
}

int Fail(const std::wstring& message)
{
    std::fprintf(stderr, "vtlreg: %ls\n", message.c_str());
    return 1;
}

int Harvest(const ServerModule& module, const Arguments& arguments)
{
    RegistrySnapshot harvest;
    std::wstring error;
    if (!HarvestRegistration(module, harvest, error)) {
        return Fail(error + L"; no file was written");
    }
    std::string bytes;
    const std::wstring& file = arguments.regFile.empty() ? arguments.wixFile : arguments.regFile;
    if (!arguments.regFile.empty()) {
        ModulePathReplacement replacement;
        if (arguments.hasModulePath) {
            replacement = {module.Path(), arguments.modulePath, FolderOf(arguments.modulePath)};
        }
        bytes = RegFileBytes(RegFileText(harvest, L"HKEY_CLASSES_ROOT", replacement));
    } else {
        std::wstring text;
        if (!WixFragmentText(harvest, WixComponent{module.Path(), sizeof(void*) == 8}, text, error)) {
            return Fail(L"the registration of " + module.Path() + L" does not fit a WiX fragment: " + error +
                        L"; no file was written");
        }
        bytes = WixFragmentBytes(text);
    }
    if (!WriteWholeFile(file, bytes, error)) {
        return Fail(error);
    }
    std::printf("vtlreg: %u keys of %ls written to %ls\n", static_cast<unsigned>(harvest.size()),
                module.Path().c_str(), file.c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    Arguments arguments;
    if (!Parse(argc, argv, arguments)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    ComApartment com;  // the apartment regsvr32 gives a registration
    if (!EnablePerUserTypeLibraries()) {
        std::printf("vtlreg: this platform has no OaEnablePerUserTLibRegistration; "
                    "type libraries follow the redirected HKEY_CLASSES_ROOT without it\n");
    }
    ServerModule module;
    std::wstring error;
    if (!module.Load(arguments.dll, error)) {
        return Fail(error);
    }
    if (arguments.mode == L"harvest") {
        return Harvest(module, arguments);
    }
    if (arguments.mode == L"install") {
        size_t keys = 0;
        if (!InstallForUser(module, keys, error)) {
            return Fail(error);
        }
        std::printf("vtlreg: %ls installed for this user: %u keys under HKEY_CURRENT_USER\\Software\\Classes\n",
                    module.Path().c_str(), static_cast<unsigned>(keys));
        return 0;
    }
    if (!UninstallForUser(module, error)) {
        return Fail(error);
    }
    std::printf("vtlreg: %ls uninstalled for this user\n", module.Path().c_str());
    return 0;
}
