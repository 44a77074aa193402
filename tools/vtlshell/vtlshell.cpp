// vtlshell [options] <file>...
// Right-clicks files the way Explorer does, through the real COM runtime: builds the shell's
// own data object for the files, creates every context-menu handler registered under
// HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers with CoCreateInstance, initialises it with
// the selection, lets it fill a real popup menu (CMF_NORMAL) and prints the menu. Options:
//   --invoke <text>   invoke the entry with this text (e.g. "&Publish with Vantorel")
//   --help            this text
// Exit codes: 0 done; 1 a failure (no handler, creation refused, no such entry, the handler
// refused the command); 2 wrong use.
//
// New options go into kOptions below: each names its flag, whether it takes a value and what
// it sets in ShellOptions; the steps of main() are functions of their own.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "runtime/com_ptr.h"

namespace {

struct ShellOptions {
    std::vector<std::wstring> files;
    std::wstring invokeText;  // empty: print the menu only
    bool help = false;
};

struct Option {
    const wchar_t* flag;
    bool takesValue;
    void (*apply)(ShellOptions& options, const wchar_t* value);
    const char* description;
};

const Option kOptions[] = {
    {L"--invoke", true, [](ShellOptions& o, const wchar_t* value) { o.invokeText = value; },
     "--invoke <text>   invoke the menu entry with this text"},
    {L"--help", false, [](ShellOptions& o, const wchar_t*) { o.help = true; }, "--help            this text"},
};

void PrintLine(const std::wstring& text)
{
    std::wstring line = text + L"\r\n";
    int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], size, nullptr,
                        nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Fail(const std::wstring& message)
{
    std::fprintf(stderr, "vtlshell: %ls\n", message.c_str());
    return 1;
}

std::wstring Hex(HRESULT result)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(result));
    return text;
}

bool ParseOptions(int argc, wchar_t** argv, ShellOptions& options)
{
    for (int index = 1; index < argc; ++index) {
        const Option* match = nullptr;
        for (const Option& option : kOptions) {
            if (lstrcmpW(argv[index], option.flag) == 0) {
                match = &option;
            }
        }
        if (!match) {
            if (argv[index][0] == L'-' && argv[index][1] == L'-') {
                std::fprintf(stderr, "vtlshell: unknown option %ls\n", argv[index]);
                return false;
            }
            options.files.push_back(argv[index]);
            continue;
        }
        if (match->takesValue && index + 1 >= argc) {
            std::fprintf(stderr, "vtlshell: %ls needs a value\n", match->flag);
            return false;
        }
        match->apply(options, match->takesValue ? argv[++index] : nullptr);
    }
    return options.help || !options.files.empty();
}

void PrintUsage()
{
    std::fprintf(stderr, "usage: vtlshell [options] <file>...\n");
    for (const Option& option : kOptions) {
        std::fprintf(stderr, "  %s\n", option.description);
    }
}

struct Pidl {
    LPITEMIDLIST pidl = nullptr;
    ~Pidl() { CoTaskMemFree(pidl); }
};

// The selection as Explorer builds it: the files' folder and the shell's data object for them.
// All files must lie in one folder, as in one Explorer window.
struct Selection {
    Pidl folder;
    ComPtr<IDataObject> data;
};

HRESULT BuildSelection(const std::vector<std::wstring>& files, Selection& selection, std::wstring& problem)
{
    std::vector<std::wstring> names;
    std::wstring folder;
    for (const std::wstring& file : files) {
        wchar_t full[MAX_PATH * 2];
        DWORD length = GetFullPathNameW(file.c_str(), ARRAYSIZE(full), full, nullptr);
        std::wstring path(full, length);
        size_t slash = path.find_last_of(L'\\');
        if (length == 0 || slash == std::wstring::npos || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            problem = L"no such file: " + file;
            return E_INVALIDARG;
        }
        std::wstring parent = path.substr(0, slash + 1);
        if (!folder.empty() && lstrcmpiW(parent.c_str(), folder.c_str()) != 0) {
            problem = L"all files must lie in one folder: " + file;
            return E_INVALIDARG;
        }
        folder = parent;
        names.push_back(path.substr(slash + 1));
    }
    ComPtr<IShellFolder> desktop;
    ComPtr<IShellFolder> shellFolder;
    HRESULT result = SHGetDesktopFolder(desktop.Put());
    if (SUCCEEDED(result)) {
        result = desktop->ParseDisplayName(nullptr, nullptr, &folder[0], nullptr, &selection.folder.pidl, nullptr);
    }
    if (SUCCEEDED(result)) {
        result = desktop->BindToObject(selection.folder.pidl, nullptr, IID_IShellFolder, shellFolder.PutVoid());
    }
    std::vector<Pidl> items(names.size());
    std::vector<LPCITEMIDLIST> pidls;
    for (size_t index = 0; SUCCEEDED(result) && index < names.size(); ++index) {
        result = shellFolder->ParseDisplayName(nullptr, nullptr, &names[index][0], nullptr, &items[index].pidl,
                                               nullptr);
        pidls.push_back(items[index].pidl);
    }
    if (SUCCEEDED(result)) {
        result = shellFolder->GetUIObjectOf(nullptr, static_cast<UINT>(pidls.size()), pidls.data(), IID_IDataObject,
                                            nullptr, selection.data.PutVoid());
    }
    if (FAILED(result)) {
        problem = L"the shell gave no data object for the files: " + Hex(result);
    }
    return result;
}

// The class identifiers of the handlers registered for every file type, in registry order.
// A handler key names its class in its default value or, failing that, in its own name.
std::vector<CLSID> RegisteredHandlers()
{
    std::vector<CLSID> handlers;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return handlers;
    }
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        wchar_t value[64] = {};
        LONG size = sizeof(value);
        CLSID clsid;
        if ((RegQueryValueW(key, name, value, &size) == ERROR_SUCCESS && SUCCEEDED(CLSIDFromString(value, &clsid))) ||
            SUCCEEDED(CLSIDFromString(name, &clsid))) {
            handlers.push_back(clsid);
        }
    }
    RegCloseKey(key);
    return handlers;
}

struct Handler {
    std::wstring clsid;
    ComPtr<IContextMenu> menu;
    UINT firstId = 0;
    UINT idCount = 0;
};

// Creates, initialises and asks each handler for its entries, in turn, as Explorer does.
int FillMenu(HMENU menu, const Selection& selection, std::vector<Handler>& handlers)
{
    std::vector<CLSID> registered = RegisteredHandlers();
    if (registered.empty()) {
        return Fail(L"no context-menu handler is registered for every file type");
    }
    UINT nextId = 1;
    for (const CLSID& clsid : registered) {
        Handler handler;
        wchar_t text[64];
        StringFromGUID2(clsid, text, ARRAYSIZE(text));
        handler.clsid = text;
        ComPtr<IShellExtInit> init;
        HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.PutVoid());
        if (FAILED(result)) {
            return Fail(L"creating handler " + handler.clsid + L" was refused: " + Hex(result));
        }
        result = init->Initialize(selection.folder.pidl, selection.data.Get(), nullptr);
        if (FAILED(result)) {
            return Fail(L"handler " + handler.clsid + L" refused Initialize: " + Hex(result));
        }
        result = init.QueryInterface(IID_IContextMenu, handler.menu);
        if (FAILED(result)) {
            return Fail(L"handler " + handler.clsid + L" has no IContextMenu: " + Hex(result));
        }
        handler.firstId = nextId;
        result = handler.menu->QueryContextMenu(menu, GetMenuItemCount(menu), nextId, 0x7FFF, CMF_NORMAL);
        if (FAILED(result)) {
            return Fail(L"handler " + handler.clsid + L" refused QueryContextMenu: " + Hex(result));
        }
        handler.idCount = HRESULT_CODE(result);
        nextId += handler.idCount;
        PrintLine(L"handler " + handler.clsid + L": " + std::to_wstring(handler.idCount) + L" entries");
        handlers.push_back(std::move(handler));
    }
    return 0;
}

struct MenuLine {
    UINT id = 0;
    std::wstring text;
    bool bitmap = false;
};

MenuLine ReadItem(HMENU menu, int position)
{
    wchar_t text[512] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_CHECKMARKS | MIIM_BITMAP;
    info.dwTypeData = text;
    info.cch = ARRAYSIZE(text);
    GetMenuItemInfoW(menu, position, TRUE, &info);
    return {info.wID, text, info.hbmpUnchecked || info.hbmpChecked || info.hbmpItem};
}

void PrintMenu(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    PrintLine(L"menu: " + std::to_wstring(count) + L" entries");
    for (int position = 0; position < count; ++position) {
        MenuLine item = ReadItem(menu, position);
        PrintLine(std::to_wstring(position) + L"\tid " + std::to_wstring(item.id) + L"\t\"" + item.text + L"\"\t" +
                  (item.bitmap ? L"bitmap" : L"no bitmap"));
    }
}

int InvokeEntry(HMENU menu, const std::vector<Handler>& handlers, const std::wstring& text)
{
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        MenuLine item = ReadItem(menu, position);
        if (item.text != text) {
            continue;
        }
        for (const Handler& handler : handlers) {
            if (item.id < handler.firstId || item.id >= handler.firstId + handler.idCount) {
                continue;
            }
            CMINVOKECOMMANDINFO info = {};
            info.cbSize = sizeof(info);
            info.lpVerb = MAKEINTRESOURCEA(item.id - handler.firstId);
            info.nShow = SW_SHOWNORMAL;
            HRESULT result = handler.menu->InvokeCommand(&info);
            PrintLine(L"InvokeCommand \"" + text + L"\": " + Hex(result));
            return SUCCEEDED(result) ? 0 : Fail(L"the handler refused the command: " + Hex(result));
        }
    }
    return Fail(L"the menu has no entry \"" + text + L"\"");
}

int RightClick(const ShellOptions& options)
{
    Selection selection;
    std::wstring problem;
    if (FAILED(BuildSelection(options.files, selection, problem))) {
        return Fail(problem);
    }
    HMENU menu = CreatePopupMenu();
    std::vector<Handler> handlers;
    int status = FillMenu(menu, selection, handlers);
    if (status == 0) {
        PrintMenu(menu);
        if (!options.invokeText.empty()) {
            status = InvokeEntry(menu, handlers, options.invokeText);
        }
    }
    handlers.clear();
    DestroyMenu(menu);
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ShellOptions options;
    if (!ParseOptions(argc, argv, options) || options.help) {
        PrintUsage();
        return options.help ? 0 : 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return Fail(L"COM cannot be initialised");
    }
    int status = RightClick(options);
    CoFreeUnusedLibraries();  // as Explorer does now and then: unloads handlers no longer used
    CoUninitialize();
    return status;
}
