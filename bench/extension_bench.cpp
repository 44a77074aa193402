// The extension's speed goals, each against a baseline measured in the same run: Initialize on
// 1,000, 10,000 and 100,000 paths against one pass that copies the same list, and the module
// heap it takes per path; QueryContextMenu against the menu
// calls and the image test it cannot avoid; InvokeCommand on 1,000 paths, without the process
// start, against sorting the same strings with std::sort; and, for 2,000 real files (about the
// largest selection the command line carries), Initialize and InvokeCommand without the start
// against what the shell spends handing the selection over: building its data object.

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_report.h"
#include "drop_file_list.h"
#include "drop_files.h"
#include "extension/image_name.h"
#include "extension/launch_command.h"
#include "extension/menu_bitmap.h"
#include "extension/menu_entry.h"
#include "extension/selection_capture.h"
#include "heap_usage.h"
#include "runtime/module_heaps.h"
#include "server/module_lifecycle.h"

namespace {

// Hands out a fresh copy of one dropped-file list, as the shell's data object renders one
// for every request.
class DropListObject : public IDataObject {
public:
    explicit DropListObject(HGLOBAL source) : source_(source) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (format->cfFormat != CF_HDROP) {
            return DV_E_FORMATETC;
        }
        SIZE_T size = GlobalSize(source_);
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
        std::memcpy(GlobalLock(copy), GlobalLock(source_), size);
        GlobalUnlock(source_);
        GlobalUnlock(copy);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    HGLOBAL source_;
};

struct Row {
    const char* measurement;
    double operation;
    const char* baseline;
    double base;
    const char* goal;
};

// Initialize on a hand-built wide list of `count` paths of 45 units: GetData (the data object's
// copy of the block), the lock, the count, the two allocations and the copy of every path. Its
// floor does the least any capture of the list must: the same GetData and lock, one scan to the
// list's closing empty string and one copy of the list into a new module heap block. Also the
// module heap bytes the captured list takes per path.
struct InitializeSize {
    Row row;
    double bytesPerPath = 0;
    double ownBytesPerPath = 0;
};

// The floor's one pass: the scan to the list's end and a copy of what it passed over.
bool CopyListOnce(IDataObject& data)
{
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(data.GetData(&format, &medium))) {
        return false;
    }
    const auto* block = static_cast<const BYTE*>(GlobalLock(medium.hGlobal));
    const auto* start = reinterpret_cast<const WCHAR*>(block + reinterpret_cast<const DROPFILES*>(block)->pFiles);
    const WCHAR* end = start;
    while (end[0] != 0 || end[1] != 0) {
        ++end;
    }
    const SIZE_T bytes = (end - start + 2) * sizeof(WCHAR);
    void* copy = ModuleAlloc(bytes);
    if (copy) {
        std::memcpy(copy, start, bytes);
        ModuleFree(copy);
    }
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return copy != nullptr;
}

InitializeSize MeasureInitialize(int count, const char* measurement)
{
    std::vector<std::wstring> paths;
    SIZE_T ownBytes = 0;
    for (int index = 0; index < count; ++index) {
        paths.push_back(L"C:\\Users\\Public\\Pictures\\Holiday\\IMG_" + std::to_wstring(100000 + index) + L".JPG");
        ownBytes += paths.back().size() * sizeof(WCHAR);
    }
    HGLOBAL source = MakeDropFiles(paths);
    DropListObject data(source);

    std::vector<double> floors;
    std::vector<double> initialize;
    SelectionList list = {};
    InitializeSize result;
    const int rounds = count >= 100000 ? 5 : 11;
    for (int round = 0; round < rounds; ++round) {
        double start = Seconds();
        if (!CopyListOnce(data)) {
            std::fprintf(stderr, "the floor's copy failed\n");
        }
        floors.push_back(Seconds() - start);

        list.Destroy();  // each capture starts from an empty object, as a new right-click does
        start = Seconds();
        HRESULT captured = CaptureSelection(list, &data);
        initialize.push_back(Seconds() - start);
        if (captured != S_OK || list.Size() != paths.size()) {
            std::fprintf(stderr, "Initialize failed: 0x%08lX\n", static_cast<unsigned long>(captured));
        }
    }
    result.bytesPerPath = static_cast<double>(HeapSize(theModule->privateHeap, 0, list.text) +
                                              HeapSize(theModule->privateHeap, 0, list.paths)) / count;
    result.ownBytesPerPath = static_cast<double>(ownBytes) / count;
    list.Destroy();
    GlobalFree(source);
    result.row = {measurement, Median(initialize), "GetData and one pass copying the list into a new block",
                  Median(floors), "at most 3"};
    return result;
}

// QueryContextMenu with the first image at the given position: the filter over the paths before
// it, one InsertMenuW, one SetMenuItemBitmaps with the module's bitmap (loaded before).
Row MeasureQueryContextMenu(int firstImage, const char* measurement, int* heapBefore, int* heapAfter)
{
    SelectionList list = {};
    for (int index = 0; index <= firstImage; ++index) {
        WCHAR path[MAX_PATH];
        swprintf(path, MAX_PATH, index == firstImage ? L"C:\\docs\\photo%d.jpg" : L"C:\\docs\\notes%d.txt", index);
        list.Append(path);
    }
    HBITMAP bitmap = MenuBitmap();
    const int rounds = 2000;
    std::vector<HMENU> menus(rounds);

    auto fill = [&] {
        for (HMENU& menu : menus) {
            menu = CreatePopupMenu();
            AppendMenuW(menu, MF_STRING, 1, L"&Open");
            AppendMenuW(menu, MF_STRING, 2, L"&Copy");
        }
    };
    auto empty = [&] {
        for (HMENU menu : menus) {
            DestroyMenu(menu);
        }
    };

    std::vector<double> bare;
    std::vector<double> query;
    for (int repeat = 0; repeat < 5; ++repeat) {
        fill();
        double start = Seconds();
        for (HMENU menu : menus) {
            UINT32 index = 0;
            while (index < list.Size() && !ImageNameFilter(list.At(index))) {
                ++index;
            }
            InsertMenuW(menu, 1, MF_BYPOSITION | MF_STRING, 100, kMenuEntryText);
            SetMenuItemBitmaps(menu, 1, MF_BYPOSITION, bitmap, bitmap);
        }
        bare.push_back((Seconds() - start) / rounds);
        empty();

        fill();
        *heapBefore = BusyBlocks(theModule->privateHeap);
        start = Seconds();
        for (HMENU menu : menus) {
            QueryMenuEntry(list, menu, 1, 100, 200, CMF_NORMAL);
        }
        query.push_back((Seconds() - start) / rounds);
        *heapAfter = BusyBlocks(theModule->privateHeap);
        empty();
    }
    list.Destroy();
    return {measurement, Median(query), "the same menu calls and image tests, made directly", Median(bare),
            "no more than its calls"};
}

// "ExePath" for the launch measurements; the application itself is never started.
void InstallPublisherPath()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPublisherKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    const wchar_t application[] = L"C:\\Program Files\\Vantorel\\Publisher\\publish.exe";
    RegSetValueExW(key, kPublisherValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(application), sizeof(application));
    RegCloseKey(key);
}

void RemovePublisherPath()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\CorvalineVTL");
}

// InvokeCommand up to the start: "ExePath" read, lower-casing, sort, command line.
Row MeasureInvokeCommand()
{
    InstallPublisherPath();

    std::vector<std::wstring> paths;
    UINT seed = 12345;
    for (int index = 0; index < 1000; ++index) {
        seed = seed * 1103515245u + 12345u;
        wchar_t name[64];
        swprintf(name, 64, L"D:\\Scans\\Batch\\Page_%05u%s", (seed >> 8) % 100000, index % 2 ? L".TIF" : L".jpg");
        paths.push_back(name);
    }

    SelectionList list = {};
    auto* command = static_cast<LaunchCommand*>(VirtualAlloc(nullptr, sizeof(LaunchCommand), MEM_COMMIT, PAGE_READWRITE));
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);

    std::vector<double> sorts;
    std::vector<double> prepares;
    for (int repeat = 0; repeat < 200; ++repeat) {
        std::vector<std::wstring> strings = paths;
        double start = Seconds();
        std::sort(strings.begin(), strings.end());
        sorts.push_back(Seconds() - start);

        list.Clear();
        for (const std::wstring& path : paths) {
            list.Append(path.c_str());
        }
        start = Seconds();
        HRESULT result = PrepareLaunch(list, &info, *command);
        prepares.push_back(Seconds() - start);
        if (result != S_OK) {
            std::fprintf(stderr, "PrepareLaunch failed: 0x%08lX\n", static_cast<unsigned long>(result));
        }
    }
    VirtualFree(command, 0, MEM_RELEASE);
    list.Destroy();
    RemovePublisherPath();
    return {"`InvokeCommand` without the start, 1,000 paths", Median(prepares),
            "`std::sort` of the same 1,000 strings", Median(sorts), "reported"};
}

// 2,000 real files of one folder: the shell's data object built for them (what the shell spends
// handing the selection over), against Initialize on it plus InvokeCommand without the start.
// The bare DragQueryFileW reads of the same list show where Initialize's time goes.
struct LargestSelection {
    double dataObject = 0, initialize = 0, invoke = 0, bareReads = 0;
    bool ok = false;
};

LargestSelection MeasureLargestSelection()
{
    constexpr int kFiles = 2000;
    wchar_t temp[MAX_PATH];
    DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp, tempLength) + L"vtlMenuLargest\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> names;
    for (int index = 0; index < kFiles; ++index) {
        wchar_t name[16];
        swprintf(name, 16, L"P%04d.JPG", index);
        names.push_back(name);
        HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    InstallPublisherPath();
    auto* command = static_cast<LaunchCommand*>(VirtualAlloc(nullptr, sizeof(LaunchCommand), MEM_COMMIT, PAGE_READWRITE));
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);

    LargestSelection result;
    result.ok = true;
    std::vector<double> dataObjects, initializes, invokes, reads;
    SelectionList list = {};
    for (int round = 0; round < 7 && result.ok; ++round) {
        double start = Seconds();
        ComPtr<IDataObject> data = ShellDataObject(folder, names);
        dataObjects.push_back(Seconds() - start);

        start = Seconds();
        HRESULT captured = data ? CaptureSelection(list, data.Get()) : E_FAIL;
        initializes.push_back(Seconds() - start);

        start = Seconds();
        HRESULT prepared = SUCCEEDED(captured) ? PrepareLaunch(list, &info, *command) : captured;
        invokes.push_back(Seconds() - start);
        result.ok = prepared == S_OK && list.Size() == static_cast<UINT32>(kFiles);

        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium = {};
        if (result.ok && SUCCEEDED(data->GetData(&format, &medium))) {
            auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
            WCHAR buffer[MAX_PATH];
            start = Seconds();
            UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT index = 0; index < count; ++index) {
                DragQueryFileW(drop, index, buffer, MAX_PATH);
            }
            reads.push_back(Seconds() - start);
            GlobalUnlock(medium.hGlobal);
            ReleaseStgMedium(&medium);
        }
    }
    list.Destroy();
    VirtualFree(command, 0, MEM_RELEASE);
    RemovePublisherPath();
    for (const std::wstring& name : names) {
        DeleteFileW((folder + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
    result.dataObject = Median(dataObjects);
    result.initialize = Median(initializes);
    result.invoke = Median(invokes);
    result.bareReads = Median(reads);
    return result;
}

void Print(const Row& row)
{
    auto text = [](double seconds) {
        static char buffers[2][32];
        static int which = 0;
        char* buffer = buffers[which ^= 1];
        if (seconds >= 1e-3) {
            std::snprintf(buffer, 32, "%.2f ms", seconds * 1e3);
        } else {
            std::snprintf(buffer, 32, "%.2f µs", seconds * 1e6);
        }
        return buffer;
    };
    const char* operation = text(row.operation);
    const char* base = text(row.base);
    std::printf("| %s | %s | %s: %s | %.2f | %s |\n", row.measurement, operation, row.baseline, base,
                row.operation / row.base, row.goal);
}

}  // namespace

int main()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "COM cannot be initialised\n");
        return 1;
    }
    ModuleState record = {};
    InitModule(&record, vtlMenuClassTable, GetModuleHandleW(nullptr));

    InitializeSize initialize[] = {MeasureInitialize(1000, "`Initialize`, 1,000 paths"),
                                   MeasureInitialize(10000, "`Initialize`, 10,000 paths"),
                                   MeasureInitialize(100000, "`Initialize`, 100,000 paths")};
    int firstBefore = 0, firstAfter = 0, lateBefore = 0, lateAfter = 0;
    Row queryFirst = MeasureQueryContextMenu(0, "`QueryContextMenu`, image first of 1", &firstBefore, &firstAfter);
    Row queryLate = MeasureQueryContextMenu(99, "`QueryContextMenu`, first image 100th of 100", &lateBefore, &lateAfter);
    Row invoke = MeasureInvokeCommand();
    LargestSelection largest = MeasureLargestSelection();

    std::printf("## Extension: selection capture, menu entry, launch\n\n");
    std::printf("Medians of repeated runs; the ratio is the operation's time over its baseline's.\n\n");
    std::printf("| Measurement | Time | Baseline | Ratio | Goal |\n|---|---|---|---|---|\n");
    for (const InitializeSize& size : initialize) {
        Print(size.row);
    }
    Print(queryFirst);
    Print(queryLate);
    Print(invoke);
    std::printf("\nModule heap blocks in use around 2,000 `QueryContextMenu` calls: %d before, %d after "
                "(image first), %d before, %d after (image 100th).\n",
                firstBefore, firstAfter, lateBefore, lateAfter);

    const double growth = initialize[2].row.operation / initialize[1].row.operation;
    std::printf("\n`Initialize`(100,000) / `Initialize`(10,000) = %.2f (goal: at most 11). The captured list takes "
                "%.1f module heap bytes per path at 10,000 paths of %.1f bytes each (goal: at most 16 more).\n",
                growth, initialize[1].bytesPerPath, initialize[1].ownBytesPerPath);

    char figure[96];
    double worst = 0;
    for (const InitializeSize& size : initialize) {
        worst = std::max(worst, size.row.operation / size.row.base);
    }
    std::snprintf(figure, sizeof(figure), "at most %.2f x the one-pass floor; 100,000 / 10,000 = %.2f", worst, growth);
    PrintSummaryRow("`Initialize`, 1,000 to 100,000 paths", figure, "at most 3 x the floor; at most 11",
                    worst <= 3 && growth <= 11 ? "met" : "not met");
    const double extra = initialize[1].bytesPerPath - initialize[1].ownBytesPerPath;
    std::snprintf(figure, sizeof(figure), "%.1f bytes per path, %.1f over its own", initialize[1].bytesPerPath, extra);
    PrintSummaryRow("Module heap per captured path, 10,000 paths", figure, "its own bytes + at most 16",
                    extra <= 16 ? "met" : "not met");
    bool noAllocation = firstBefore == firstAfter && lateBefore == lateAfter;
    std::snprintf(figure, sizeof(figure), "%.2f x the bare menu calls; %s", queryFirst.operation / queryFirst.base,
                  noAllocation ? "no allocation" : "allocates");
    PrintSummaryRow("`QueryContextMenu`", figure, "menu calls and the filter only", noAllocation ? "met" : "not met");
    std::snprintf(figure, sizeof(figure), "%.2f x std::sort", invoke.operation / invoke.base);
    PrintSummaryRow("`InvokeCommand`, 1,000 paths, without the start", figure, "reported", "reported");


    double handling = largest.initialize + largest.invoke;
    std::printf("\n### 2,000 files, against the shell's handing over\n\n");
    if (!largest.ok) {
        std::printf("The measurement failed: Initialize or InvokeCommand refused the 2,000 files.\n");
    } else {
        std::printf("2,000 real files of one folder (names of 9 units, a command line of about 22,000 units). "
                    "Medians of seven rounds.\n\n| Step | Time |\n|---|---|\n"
                    "| The shell's data object for the files (`ParseDisplayName` of each, `GetUIObjectOf`) | %.2f ms |\n"
                    "| `Initialize` on it | %.2f ms |\n"
                    "| for comparison: the platform's `DragQueryFileW` reads of the same list, by index | %.2f ms |\n"
                    "| `InvokeCommand` without the start (\"ExePath\", lower-casing, sort, command line) | %.2f ms |\n"
                    "| `Initialize` + `InvokeCommand`, against the data object | %.2f |\n\n",
                    largest.dataObject * 1e3, largest.initialize * 1e3, largest.bareReads * 1e3,
                    largest.invoke * 1e3, handling / largest.dataObject);
        std::printf("`Initialize` reads the dropped-file list itself, in one pass; the platform's own reader, "
                    "`DragQueryFileW` by index, walks the list from its start for every index, and took %.1f times "
                    "`Initialize`'s time for the same list.\n",
                    largest.bareReads / largest.initialize);
    }
    std::snprintf(figure, sizeof(figure), "%.2f ms / %.2f ms = %.2f x", handling * 1e3, largest.dataObject * 1e3,
                  largest.ok ? handling / largest.dataObject : 0.0);
    PrintSummaryRow("`Initialize` + `InvokeCommand` without the start, 2,000 files, against the shell's data object",
                    largest.ok ? figure : "failed", "at most 1.0 x",
                    largest.ok && handling <= largest.dataObject ? "met" : "not met");

    TermModule(&record);
    CoUninitialize();
    return 0;
}
