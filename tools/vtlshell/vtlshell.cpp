// vtlshell [options] <file>...
// Right-clicks files the way Explorer does, through the real COM runtime: builds the shell's
// own data object for the files, creates every context-menu handler registered under
// HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers with CoCreateInstance, initialises it with
// the selection, lets it fill a real popup menu (CMF_NORMAL) and prints the menu. Then it
// releases everything, tells what each handler's DLL answers to DllCanUnloadNow and lets COM
// unload the DLLs no longer used. Options:
//   --invoke <text>       invoke the entry with this text (e.g. "&Publish with Vantorel")
//   --files-from <list>   add the files named in a text file, one per line
//   --picture <png>       open the real popup menu on the screen and save a picture of it
//   --measure <n>         time n whole right-clicks, each loading and unloading the handlers
//   --explorer-command <manifest>
//                         Windows 11's first-level menu instead: the commands the package
//                         manifest declares, served from DLLs in --external-location <folder>
//                         (default: the manifest's folder); with --invoke, the entry's title
//   --help                this text
// Files from several folders are selected as a search result would be.
// Exit codes: 0 done; 1 a failure (no handler, creation refused, no such entry, the handler
// refused the command); 2 wrong use.
//
// New options go into kOptions below: each names its flag, whether it takes a value and what
// it sets in ShellOptions; the steps of main() are functions of their own.

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "console_output.h"
#include "explorer_command_host.h"
#include "menu_picture.h"
#include "search_result_data.h"
#include "runtime/com_ptr.h"
#include "runtime/unique_resource.h"

namespace {

struct ShellOptions {
    std::vector<std::wstring> files;
    std::wstring invokeText;   // empty: print the menu only
    std::wstring filesFrom;    // a list of further files, one per line
    std::wstring picturePath;  // empty: no picture
    int measureCount = 0;      // 0: one ordinary right-click
    std::wstring manifest;     // the first-level menu of this package manifest instead
    std::wstring externalLocation;
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
    {L"--files-from", true, [](ShellOptions& o, const wchar_t* value) { o.filesFrom = value; },
     "--files-from <list>  add the files named in a text file, one per line"},
    {L"--picture", true, [](ShellOptions& o, const wchar_t* value) { o.picturePath = value; },
     "--picture <png>   open the real menu on the screen and save a picture of it"},
    {L"--measure", true, [](ShellOptions& o, const wchar_t* value) { o.measureCount = _wtoi(value); },
     "--measure <n>     time n whole right-clicks (no handler registered is then allowed)"},
    {L"--explorer-command", true, [](ShellOptions& o, const wchar_t* value) { o.manifest = value; },
     "--explorer-command <manifest>  the first-level menu of a package's Explorer commands"},
    {L"--external-location", true, [](ShellOptions& o, const wchar_t* value) { o.externalLocation = value; },
     "--external-location <folder>  where the package's DLLs are (default: the manifest's folder)"},
    {L"--help", false, [](ShellOptions& o, const wchar_t*) { o.help = true; }, "--help            this text"},
};

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
    return options.help || !options.files.empty() || !options.filesFrom.empty();
}

// The list file's lines, each a path; UTF-8 (with or without a byte order mark) or UTF-16.
bool ReadFileList(const std::wstring& listPath, std::vector<std::wstring>& files)
{
    UniqueFileHandle file(CreateFileW(listPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
        return false;
    }
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    } else {
        size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, static_cast<int>(bytes.size() - start),
                                        nullptr, 0);
        text.resize(units);
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, static_cast<int>(bytes.size() - start),
                            text.empty() ? nullptr : &text[0], units);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        if (end > start) {
            files.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return true;
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
    Pidl() = default;
    Pidl(Pidl&& other) noexcept : pidl(other.pidl) { other.pidl = nullptr; }
    Pidl(const Pidl&) = delete;
    Pidl& operator=(const Pidl&) = delete;
    ~Pidl() { CoTaskMemFree(pidl); }
};

// The selection as Explorer builds it: the files' folder and the shell's data object for them.
// Files from one folder come from that folder's own data object, as in one Explorer window;
// files from several folders as a search result gives them: a dropped-file list of their full
// paths, with the desktop as their folder.
struct Selection {
    Pidl folder;
    ComPtr<IDataObject> data;
};

HRESULT SelectFromOneFolder(const std::wstring& folder, std::vector<std::wstring>& names, Selection& selection)
{
    ComPtr<IShellFolder> desktop;
    ComPtr<IShellFolder> shellFolder;
    std::wstring folderName = folder;
    HRESULT result = SHGetDesktopFolder(desktop.Put());
    if (SUCCEEDED(result)) {
        result = desktop->ParseDisplayName(nullptr, nullptr, &folderName[0], nullptr, &selection.folder.pidl, nullptr);
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
    return result;
}

HRESULT SelectFromSeveralFolders(const std::vector<std::wstring>& paths, Selection& selection)
{
    HRESULT result = SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &selection.folder.pidl);
    if (SUCCEEDED(result)) {
        selection.data = MakeSearchResultData(paths);
    }
    return result;
}

HRESULT BuildSelection(const std::vector<std::wstring>& files, Selection& selection, std::wstring& problem)
{
    std::vector<std::wstring> paths;
    std::vector<std::wstring> names;
    std::wstring folder;
    bool oneFolder = true;
    for (const std::wstring& file : files) {
        wchar_t full[MAX_PATH * 2];
        DWORD length = GetFullPathNameW(file.c_str(), ARRAYSIZE(full), full, nullptr);
        std::wstring path(full, length < ARRAYSIZE(full) ? length : 0);
        size_t slash = path.find_last_of(L'\\');
        if (path.empty() || slash == std::wstring::npos || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            problem = L"no such file: " + file;
            return E_INVALIDARG;
        }
        std::wstring parent = path.substr(0, slash + 1);
        if (!folder.empty() && lstrcmpiW(parent.c_str(), folder.c_str()) != 0) {
            oneFolder = false;
        }
        folder = parent;
        paths.push_back(path);
        names.push_back(path.substr(slash + 1));
    }
    HRESULT result = oneFolder ? SelectFromOneFolder(folder, names, selection)
                               : SelectFromSeveralFolders(paths, selection);
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

// The DLL that serves a class in this process: its InprocServer32 path.
std::wstring ServerPath(const std::wstring& clsid)
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof(path);
    std::wstring key = L"CLSID\\" + clsid + L"\\InprocServer32";
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS) {
        return {};
    }
    return path;
}

// Creates, initialises and asks each handler for its entries, in turn, as Explorer does.
// Without `quiet` it says what each handler added.
int FillMenu(HMENU menu, const Selection& selection, const std::vector<CLSID>& registered,
             std::vector<Handler>& handlers, bool quiet)
{
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
        if (!quiet) {
            PrintLine(L"handler " + handler.clsid + L": " + std::to_wstring(handler.idCount) + L" entries");
        }
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

const wchar_t* ResultName(HRESULT result)
{
    return result == S_OK ? L"S_OK" : result == S_FALSE ? L"S_FALSE" : L"a failure";
}

// After everything is released: what each handler's DLL answers to DllCanUnloadNow, and
// whether COM then unloads it.
void ReportUnloading(const std::vector<CLSID>& registered)
{
    std::vector<std::wstring> servers;
    for (const CLSID& clsid : registered) {
        wchar_t text[64];
        StringFromGUID2(clsid, text, ARRAYSIZE(text));
        std::wstring path = ServerPath(text);
        if (!path.empty() && GetModuleHandleW(path.c_str()) &&
            std::find(servers.begin(), servers.end(), path) == servers.end()) {
            servers.push_back(path);
        }
    }
    for (const std::wstring& path : servers) {
        using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
        auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(path.c_str()), "DllCanUnloadNow")));
        if (canUnloadNow) {
            HRESULT answer = canUnloadNow();
            PrintLine(L"DllCanUnloadNow " + path + L": " + Hex(answer) + L" (" + ResultName(answer) + L")");
        }
    }
    CoFreeUnusedLibrariesEx(0, 0);
    for (const std::wstring& path : servers) {
        PrintLine(path + (GetModuleHandleW(path.c_str()) ? L": still loaded" : L": unloaded"));
    }
}

// One right-click's menu: the selection's data object and every registered handler created,
// initialised and asked for its entries. The handlers are released first when it goes, then
// the menu and the selection, as Explorer releases them.
struct ContextMenu {
    Selection selection;
    HMENU menu = CreatePopupMenu();
    std::vector<Handler> handlers;

    ContextMenu() = default;
    ContextMenu(const ContextMenu&) = delete;
    ContextMenu& operator=(const ContextMenu&) = delete;
    ~ContextMenu()
    {
        handlers.clear();
        DestroyMenu(menu);
    }
};

int OpenContextMenu(const std::vector<std::wstring>& files, const std::vector<CLSID>& registered, bool quiet,
                    ContextMenu& open)
{
    std::wstring problem;
    if (FAILED(BuildSelection(files, open.selection, problem))) {
        return Fail(problem);
    }
    return FillMenu(open.menu, open.selection, registered, open.handlers, quiet);
}

int RightClick(const ShellOptions& options, const std::vector<std::wstring>& files)
{
    std::vector<CLSID> registered = RegisteredHandlers();
    if (registered.empty()) {
        return Fail(L"no context-menu handler is registered for every file type");
    }
    int status = 0;
    {
        ContextMenu open;
        status = OpenContextMenu(files, registered, false, open);
        if (status == 0) {
            PrintMenu(open.menu);
        }
        if (status == 0 && !options.picturePath.empty()) {
            HRESULT result = PhotographMenu(open.menu, options.picturePath.c_str());
            status = SUCCEEDED(result) ? 0 : Fail(L"the menu could not be photographed: " + Hex(result));
            if (status == 0) {
                PrintLine(L"picture of the menu: " + options.picturePath);
            }
        }
        if (status == 0 && !options.invokeText.empty()) {
            status = InvokeEntry(open.menu, open.handlers, options.invokeText);
        }
    }
    ReportUnloading(registered);
    return status;
}

// Times whole right-clicks: the data object, every handler created, initialised and asked for
// its entries, everything released and the handlers' DLLs unloaded again. With no handler
// registered this times the shell's own part alone.
int MeasureRightClicks(const ShellOptions& options, const std::vector<std::wstring>& files)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> microseconds;
    size_t handlerCount = 0;
    for (int run = 0; run < options.measureCount; ++run) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        {
            ContextMenu open;
            int status = OpenContextMenu(files, RegisteredHandlers(), true, open);
            if (status != 0) {
                return status;
            }
            handlerCount = open.handlers.size();
        }
        CoFreeUnusedLibrariesEx(0, 0);
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        microseconds.push_back(1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                               static_cast<double>(frequency.QuadPart));
    }
    std::sort(microseconds.begin(), microseconds.end());
    wchar_t line[200];
    swprintf(line, ARRAYSIZE(line), L"right-click of %zu files with %zu handlers: median %.0f us, fastest %.0f us, %d runs",
             files.size(), handlerCount, microseconds[microseconds.size() / 2], microseconds.front(),
             options.measureCount);
    PrintLine(line);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    ShellOptions options;
    if (!ParseOptions(argc, argv, options) || options.help) {
        PrintUsage();
        return options.help ? 0 : 2;
    }
    std::vector<std::wstring> files = options.files;
    if (!options.filesFrom.empty() && !ReadFileList(options.filesFrom, files)) {
        return Fail(L"cannot read the file list " + options.filesFrom);
    }
    if (files.empty()) {
        return Fail(L"no files to right-click");
    }
    bool firstLevel = !options.manifest.empty();
    if (options.measureCount < 0 || (firstLevel && (options.measureCount > 0 || !options.picturePath.empty()))) {
        PrintUsage();
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return Fail(L"COM cannot be initialised");
    }
    int status = firstLevel ? ShowExplorerCommands(options.manifest, options.externalLocation, files, options.invokeText)
                 : options.measureCount > 0 ? MeasureRightClicks(options, files)
                                            : RightClick(options, files);
    CoUninitialize();
    return status;
}
