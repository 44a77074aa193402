#include "explorer_command_host.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "console_output.h"
#include "package_manifest.h"
#include "runtime/com_ptr.h"
#include "runtime/unique_resource.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The selection as a shell item array of the files' own item identifiers, from one folder or
// several, as the first-level menu hands it to every command.
HRESULT SelectItems(const std::vector<std::wstring>& files, ComPtr<IShellItemArray>& items, std::wstring& problem)
{
    std::vector<PIDLIST_ABSOLUTE> pidls;
    HRESULT result = S_OK;
    for (const std::wstring& file : files) {
        wchar_t full[MAX_PATH * 2];
        DWORD length = GetFullPathNameW(file.c_str(), ARRAYSIZE(full), full, nullptr);
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (length == 0 || length >= ARRAYSIZE(full) || FAILED(SHParseDisplayName(full, nullptr, &pidl, 0, nullptr))) {
            problem = L"no such file: " + file;
            result = E_INVALIDARG;
            break;
        }
        pidls.push_back(pidl);
    }
    if (SUCCEEDED(result)) {
        result = SHCreateShellItemArrayFromIDLists(static_cast<UINT>(pidls.size()),
                                                   const_cast<PCIDLIST_ABSOLUTE_ARRAY>(pidls.data()), items.Put());
        if (FAILED(result)) {
            problem = L"the shell gave no item array for the files: " + Hex(result);
        }
    }
    for (PIDLIST_ABSOLUTE pidl : pidls) {
        CoTaskMemFree(pidl);
    }
    return result;
}

std::wstring TakeTaskString(WCHAR* text)
{
    UniqueCoTaskString owned(text);
    return owned ? std::wstring(owned.Get()) : std::wstring();
}

// One command of the menu: its class made known to COM from its DLL for this process, the
// object created through COM, and its answers for the selection.
struct Command {
    std::wstring clsidText;
    std::wstring server;
    CLSID clsid = {};
    UniqueLibrary library;
    ComPtr<IClassFactory> factory;
    DWORD cookie = 0;
    ComPtr<IExplorerCommand> command;
    EXPCMDSTATE state = ECS_HIDDEN;
    std::wstring title;
    std::wstring icon;
    EXPCMDFLAGS flags = 0;

    Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;
    // The object goes first, then the class's registration and the class object; the DLL is
    // freed only once it says it may be unloaded, as COM's own unloading does.
    ~Command()
    {
        command.Reset();
        if (cookie) {
            CoRevokeClassObject(cookie);
        }
        factory.Reset();
        auto canUnloadNow = library ? Export<CanUnloadNowFunction>(library.Get(), "DllCanUnloadNow") : nullptr;
        if (!canUnloadNow) {
            return;
        }
        HRESULT answer = canUnloadNow();
        PrintLine(L"DllCanUnloadNow " + server + L": " + Hex(answer) +
                  (answer == S_OK ? L" (S_OK)" : answer == S_FALSE ? L" (S_FALSE)" : L" (a failure)"));
        if (answer != S_OK) {
            library.Detach();
            return;
        }
        library.Reset();
        PrintLine(server + (GetModuleHandleW(server.c_str()) ? L": still loaded" : L": unloaded"));
    }
};

int CreateCommand(const ManifestVerb& verb, const ManifestClass& served, const std::wstring& externalLocation,
                  Command& created)
{
    created.clsidText = L"{" + verb.clsid + L"}";
    if (FAILED(CLSIDFromString(created.clsidText.c_str(), &created.clsid))) {
        return Fail(L"the manifest's class identifier " + verb.clsid + L" is not a GUID");
    }
    created.server = externalLocation + served.path;
    created.library.Reset(LoadLibraryW(created.server.c_str()));
    auto getClassObject = created.library ? Export<GetClassObjectFunction>(created.library.Get(), "DllGetClassObject")
                                          : nullptr;
    if (!getClassObject) {
        return Fail(L"no COM server at " + created.server);
    }
    HRESULT result = getClassObject(created.clsid, IID_IClassFactory, created.factory.PutVoid());
    if (SUCCEEDED(result)) {
        result = CoRegisterClassObject(created.clsid, created.factory.Get(), CLSCTX_INPROC_SERVER,
                                       REGCLS_MULTIPLEUSE, &created.cookie);
    }
    if (SUCCEEDED(result)) {
        result = CoCreateInstance(created.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                                  created.command.PutVoid());
    }
    if (FAILED(result)) {
        return Fail(L"creating command " + created.clsidText + L" was refused: " + Hex(result));
    }
    return 0;
}

int AskCommand(Command& entry, IShellItemArray* items)
{
    HRESULT result = entry.command->GetState(items, FALSE, &entry.state);
    WCHAR* text = nullptr;
    if (SUCCEEDED(result)) {
        result = entry.command->GetTitle(items, &text);
        entry.title = TakeTaskString(text);
    }
    if (SUCCEEDED(result)) {
        text = nullptr;
        result = entry.command->GetIcon(items, &text);
        entry.icon = TakeTaskString(text);
    }
    if (SUCCEEDED(result)) {
        result = entry.command->GetFlags(&entry.flags);
    }
    if (FAILED(result)) {
        return Fail(L"command " + entry.clsidText + L" refused to describe itself: " + Hex(result));
    }
    PrintLine(L"command " + entry.clsidText + L": " + (entry.state & ECS_HIDDEN ? L"hidden" : L"shown"));
    return 0;
}

}  // namespace

int ShowExplorerCommands(const std::wstring& manifestPath, const std::wstring& externalLocation,
                         const std::vector<std::wstring>& files, const std::wstring& invokeText)
{
    PackageManifest manifest;
    std::wstring problem;
    if (FAILED(ReadPackageManifest(manifestPath, manifest, problem))) {
        return Fail(L"cannot read the package manifest " + manifestPath + L": " + problem);
    }
    std::wstring location = externalLocation;
    if (location.empty()) {
        location = manifestPath.substr(0, manifestPath.find_last_of(L"\\/") + 1);
    } else if (location.back() != L'\\' && location.back() != L'/') {
        location += L'\\';
    }

    ComPtr<IShellItemArray> items;
    if (FAILED(SelectItems(files, items, problem))) {
        return Fail(problem);
    }
    std::vector<std::unique_ptr<Command>> commands;
    for (const ManifestVerb& verb : manifest.verbs) {
        if (verb.itemType != L"*") {
            continue;
        }
        const ManifestClass* served = nullptr;
        for (const ManifestClass& candidate : manifest.classes) {
            if (lstrcmpiW(candidate.id.c_str(), verb.clsid.c_str()) == 0) {
                served = &candidate;
            }
        }
        if (!served) {
            return Fail(L"the manifest serves no class " + verb.clsid);
        }
        commands.push_back(std::make_unique<Command>());
        int status = CreateCommand(verb, *served, location, *commands.back());
        if (status == 0) {
            status = AskCommand(*commands.back(), items.Get());
        }
        if (status != 0) {
            return status;
        }
    }
    if (commands.empty()) {
        return Fail(L"the manifest offers no command for files of every type");
    }

    std::vector<Command*> shown;
    for (const std::unique_ptr<Command>& entry : commands) {
        if (!(entry->state & ECS_HIDDEN)) {
            shown.push_back(entry.get());
        }
    }
    PrintLine(L"first-level menu: " + std::to_wstring(shown.size()) + L" entries");
    for (size_t position = 0; position < shown.size(); ++position) {
        PrintLine(std::to_wstring(position) + L"\t\"" + shown[position]->title + L"\"\ticon " + shown[position]->icon);
    }
    if (invokeText.empty()) {
        return 0;
    }
    for (Command* entry : shown) {
        if (entry->title == invokeText) {
            HRESULT result = entry->command->Invoke(items.Get(), nullptr);
            PrintLine(L"Invoke \"" + invokeText + L"\": " + Hex(result));
            return SUCCEEDED(result) ? 0 : Fail(L"the command refused: " + Hex(result));
        }
    }
    return Fail(L"the first-level menu has no entry \"" + invokeText + L"\"");
}
