// The whole right-click through vtlshell, as Explorer would make it: load, create, Initialize,
// QueryContextMenu, release (and unload), for 1, 16, 2,000 and 10,000 selected files, with vtlMenu as
// the one handler registered for all files, with the minimal handler (a test-only DLL that
// inserts one menu item and does nothing else) in its place, and with no handler, in the same
// run. Two views of it: the right-click alone, timed inside vtlshell, and the whole vtlshell
// process, timed from outside. 2,000 files is about the largest selection the publishing
// application's command line can carry; 10,000 files, a whole archive folder, must still cost
// the shell no more than the minimal handler does.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_report.h"
#include "process_run.h"

namespace {

// Which handler the shell finds registered for all files.
enum Handler { kVtlMenu, kMinimal, kNone, kHandlers };

struct Sample {
    int files;
    int insideRuns;   // right-clicks timed inside one vtlshell
    int processRuns;  // rounds: the first three time right-clicks inside, the rest whole processes
    double inside[kHandlers] = {};
    double process[kHandlers] = {};
};

std::wstring Folder(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Folder(std::wstring(path, length));
}

bool WriteList(const std::wstring& path, const std::vector<std::wstring>& files, size_t count)
{
    std::string text;
    for (size_t index = 0; index < count; ++index) {
        char line[MAX_PATH * 3];
        int length = WideCharToMultiByte(CP_UTF8, 0, files[index].c_str(), -1, line, sizeof(line), nullptr, nullptr);
        text.append(line, length > 0 ? length - 1 : 0).append("\r\n");
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

// vtlshell's own figure: "... median <n> us ...".
double InsideMedianSeconds(const std::string& output)
{
    size_t at = output.find("median ");
    return at == std::string::npos ? -1 : std::atof(output.c_str() + at + 7) / 1e6;
}

// The shell offers every handler registered under these keys: with one key removed, the class
// stays registered but the shell does not create it.
const wchar_t* const kHandlerKeys[] = {L"*\\shellex\\ContextMenuHandlers\\VtlMenu.VTLShlExt",
                                       L"*\\shellex\\ContextMenuHandlers\\VtlMinimalHandler"};
const wchar_t* const kClassTexts[] = {L"{4C2E8A15-93D7-4B61-A0F4-7E5B12C9D836}",
                                      L"{0B6F3E2A-5D41-4C7E-9A18-2E4D6C8B1F07}"};

bool OfferHandler(Handler offered)
{
    for (int handler = kVtlMenu; handler <= kMinimal; ++handler) {
        if (handler == offered) {
            if (RegSetValueW(HKEY_CLASSES_ROOT, kHandlerKeys[handler], REG_SZ, kClassTexts[handler], 0) !=
                ERROR_SUCCESS) {
                return false;
            }
            continue;
        }
        LONG status = RegDeleteKeyW(HKEY_CLASSES_ROOT, kHandlerKeys[handler]);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
            return false;
        }
    }
    return true;
}

// The three handlers take turns, so that whatever else the machine does falls on all alike.
bool Measure(const std::wstring& shell, const std::wstring& list, Sample& sample)
{
    std::wstring common = Quoted(shell) + L" --files-from " + Quoted(list) + L" --measure ";
    std::vector<double> inside[kHandlers];
    std::vector<double> processes[kHandlers];
    for (int round = 0; round < sample.processRuns; ++round) {
        for (int handler = kVtlMenu; handler < kHandlers; ++handler) {
            if (!OfferHandler(static_cast<Handler>(handler))) {
                std::printf("cannot change the handler keys\n");
                return false;
            }
            bool timeInside = round < 3;
            double start = Seconds();
            ProcessResult run = RunProcess(common + std::to_wstring(timeInside ? sample.insideRuns : 1), 600000);
            double elapsed = Seconds() - start;
            if (!run.finished || run.exitCode != 0 || InsideMedianSeconds(run.output) < 0) {
                std::printf("vtlshell failed: %s\n", run.output.c_str());
                return false;
            }
            (timeInside ? inside : processes)[handler].push_back(timeInside ? InsideMedianSeconds(run.output) : elapsed);
        }
    }
    for (int handler = kVtlMenu; handler < kHandlers; ++handler) {
        sample.inside[handler] = Median(inside[handler]);
        sample.process[handler] = Median(processes[handler]);
    }
    return OfferHandler(kVtlMenu);
}

bool Regsvr32(const std::wstring& options, const std::wstring& dll)
{
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    ProcessResult result = RunProcess(Quoted(std::wstring(system, length) + L"\\regsvr32.exe") + L" " + options + L" " +
                                      Quoted(dll));
    return result.finished && result.exitCode == 0;
}

const char* Verdict(double ratio, double goal)
{
    return ratio <= goal ? "met" : "not met";
}

}  // namespace

// "--few": a quarter of the runs, for the ARM64 DLL under software emulation.
int main(int argc, char** argv)
{
    const int divisor = argc > 1 && std::strcmp(argv[1], "--few") == 0 ? 4 : 1;
    std::wstring bin = ProgramFolder() + L"..\\bin\\";
    std::wstring shell = bin + L"vtlshell.exe";
    std::wstring dll = bin + L"vtlMenu.dll";
    std::wstring minimal = bin + L"vtl_minimal_handler.dll";

    wchar_t temp[MAX_PATH];
    DWORD tempLength = GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp, tempLength) + L"vtlMenuRightClick\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> files;
    for (int index = 0; index < 10000; ++index) {
        wchar_t name[32];
        std::swprintf(name, 32, index == 0 ? L"Photo %05d.JPG" : L"notes %05d.txt", index);
        files.push_back(folder + name);
        HANDLE file = CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("cannot make the sample files in %ls\n", folder.c_str());
            return 1;
        }
        CloseHandle(file);
    }

    std::vector<Sample> samples = {{1, 41, 15}, {16, 41, 15}, {2000, 9, 10}, {10000, 5, 6}};
    for (Sample& sample : samples) {
        sample.insideRuns = std::max(3, sample.insideRuns / divisor);
        sample.processRuns = std::max(4, sample.processRuns / divisor);
    }
    bool ok = Regsvr32(L"/s", dll) && Regsvr32(L"/s", minimal);
    for (Sample& sample : samples) {
        std::wstring list = folder + L"list " + std::to_wstring(sample.files) + L".txt";
        ok = ok && WriteList(list, files, sample.files) && Measure(shell, list, sample);
    }
    Regsvr32(L"/u /s", minimal);
    Regsvr32(L"/u /s", dll);
    for (const std::wstring& file : files) {
        DeleteFileW(file.c_str());
    }
    for (const Sample& sample : samples) {
        DeleteFileW((folder + L"list " + std::to_wstring(sample.files) + L".txt").c_str());
    }
    RemoveDirectoryW(folder.c_str());
    if (!ok) {
        std::printf("the right-click benchmark failed\n");
        return 1;
    }

    std::printf("## The whole right-click through vtlshell\n\n");
    std::printf("vtlshell builds the shell's data object for the selection (the first file an image), creates "
                "every handler registered for all files, calls `Initialize` and `QueryContextMenu`, releases "
                "everything and lets COM unload the DLL. *Right-click* is that sequence timed inside vtlshell "
                "(median of repeated right-clicks in one process, each loading the DLL anew); *process* is a "
                "whole vtlshell run timed from outside (median). The one handler registered is vtlMenu, or the "
                "minimal handler (`vtl_minimal_handler.dll`: one `InsertMenuW`, nothing else, registered with "
                "regsvr32 like vtlMenu), or none; the three take turns.\n\n");
    std::printf("| files | right-click: vtlMenu | minimal | none | vtlMenu / minimal | process: vtlMenu | minimal | "
                "none | vtlMenu / minimal | goal |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Sample& sample : samples) {
        std::printf("| %d | %.2f ms | %.2f ms | %.2f ms | %.2f | %.0f ms | %.0f ms | %.0f ms | %.3f | %s |\n",
                    sample.files, sample.inside[kVtlMenu] * 1e3, sample.inside[kMinimal] * 1e3,
                    sample.inside[kNone] * 1e3, sample.inside[kVtlMenu] / sample.inside[kMinimal],
                    sample.process[kVtlMenu] * 1e3, sample.process[kMinimal] * 1e3, sample.process[kNone] * 1e3,
                    sample.process[kVtlMenu] / sample.process[kMinimal],
                    sample.files == 1 ? "right-click at most 1.10" : sample.files == 10000 ? "right-click at most 1.05" : "reported");
    }
    const Sample& largest = samples.back();
    std::printf("\nWith %d files vtlMenu adds %.1f ms to the minimal handler's right-click: `Initialize` reads "
                "the dropped-file list once and stores each path in its own units (the extension section "
                "measures it from 1,000 to 100,000 paths).\n",
                largest.files, (largest.inside[kVtlMenu] - largest.inside[kMinimal]) * 1e3);
    for (const Sample& sample : samples) {
        double inside = sample.inside[kVtlMenu] / sample.inside[kMinimal];
        double process = sample.process[kVtlMenu] / sample.process[kMinimal];
        char measurement[96];
        char figure[96];
        std::snprintf(measurement, sizeof(measurement), "Right-click through vtlshell, %d file%s, against the minimal handler",
                      sample.files, sample.files == 1 ? "" : "s");
        std::snprintf(figure, sizeof(figure), "right-click %.2f x; process %.3f x", inside, process);
        if (sample.files == 1) {
            PrintSummaryRow(measurement, figure, "right-click at most 1.10 x", Verdict(inside, 1.10));
        } else if (sample.files == 10000) {
            PrintSummaryRow(measurement, figure, "right-click at most 1.05 x", Verdict(inside, 1.05));
        } else {
            PrintSummaryRow(measurement, figure, "reported", "reported");
        }
    }
    return 0;
}
