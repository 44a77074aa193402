// The platform's registration tool on the DLL: `regsvr32 /s` and `regsvr32 /u /s` on the
// build's own vtlMenu.dll (32- or 64-bit, in a prefix of its kind), each against the same
// command on vtl_null_server.dll, whose registration exports return at once, so that the ratio
// shows what the module's own registration adds to the tool's start and the loading of a DLL.
// Every command runs as a child process, timed from its creation to its end; the four commands
// take turns in each round. HKEY_CLASSES_ROOT is read before the first command and put back as
// it was after the last.

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "registry_snapshot.h"
#include "runtime/unique_resource.h"

namespace {

constexpr int kRounds = 25;
const wchar_t kClassServerKey[] = L"CLSID\\{4C2E8A15-93D7-4B61-A0F4-7E5B12C9D836}\\InprocServer32";

[[noreturn]] void Fail(const char* what, unsigned long code);

// The Windows form of a path of the build tree (drive Z: is the Unix root).
std::wstring WindowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* unit = unixPath; *unit; ++unit) {
        path += *unit == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*unit));
    }
    return path;
}

// What a command leaves of the class's registration.
enum class Leaves { kClass, kNoClass, kAsItFoundIt };

struct Command {
    const char* text;  // as printed
    std::wstring commandLine;
    Leaves leaves;
    std::vector<double> seconds;
};

// Runs the command to its end; the seconds from its creation to its end.
double Run(const Command& command)
{
    std::wstring writable = command.commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    double start = Seconds();
    if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Fail("regsvr32 could not be started", GetLastError());
    }
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.Get(), INFINITE);
    double seconds = Seconds() - start;
    DWORD exitCode = 1;
    GetExitCodeProcess(processHandle.Get(), &exitCode);
    if (exitCode != 0) {
        std::fprintf(stderr, "registration_bench: %ls\n", command.commandLine.c_str());
        Fail("regsvr32 failed", exitCode);
    }
    return seconds;
}

bool ClassRegistered()
{
    UniqueKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassServerKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// Puts the keys and values of `before` back where `now` differs from them: keys added since are
// deleted, keys and values removed or changed are written again, values added are deleted.
void Restore(HKEY root, const RegistrySnapshot& before, const RegistrySnapshot& now)
{
    // Children sort after their parents, so backwards deletes them first.
    for (auto key = now.rbegin(); key != now.rend(); ++key) {
        if (!before.count(key->first)) {
            RegDeleteTreeW(root, key->first.c_str());
            RegDeleteKeyW(root, key->first.c_str());
        }
    }
    for (const auto& [path, values] : before) {
        auto current = now.find(path);
        UniqueKey key;
        if (RegCreateKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, key.Put(), nullptr) != ERROR_SUCCESS) {
            continue;
        }
        for (const auto& [name, value] : values) {
            if (current != now.end()) {
                auto found = current->second.find(name);
                if (found != current->second.end() && found->second == value) {
                    continue;
                }
            }
            RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0, value.type,
                           value.data.data(), static_cast<DWORD>(value.data.size()));
        }
        if (current == now.end()) {
            continue;
        }
        for (const auto& [name, value] : current->second) {
            if (!values.count(name)) {
                RegDeleteValueW(key.Get(), name.empty() ? nullptr : name.c_str());
            }
        }
    }
}

// HKEY_CLASSES_ROOT as the program found it.
RegistrySnapshot original;

// Puts HKEY_CLASSES_ROOT back as it was found; the number of differences found, and the
// differences still left afterwards.
size_t PutBack(std::vector<std::string>& left)
{
    RegistrySnapshot now = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    size_t differences = RegistryDifferences(original, now, original.size() + now.size()).size();
    if (differences) {
        Restore(HKEY_CLASSES_ROOT, original, now);
        now = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    }
    left = RegistryDifferences(original, now);
    return differences;
}

[[noreturn]] void Fail(const char* what, unsigned long code)
{
    std::fprintf(stderr, "registration_bench: %s (%lu)\n", what, code);
    std::vector<std::string> left;
    PutBack(left);
    for (const std::string& line : left) {
        std::fprintf(stderr, "registration_bench: not restored: %s\n", line.c_str());
    }
    ExitProcess(1);
}

}  // namespace

int main()
{
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring regsvr32 = L"\"" + std::wstring(system, length) + L"\\regsvr32.exe\" ";
    const std::wstring dll = L" \"" + WindowsPath(VTL_BENCH_DLL) + L"\"";
    const std::wstring nullServer = L" \"" + WindowsPath(VTL_BENCH_NULL_SERVER) + L"\"";

    original = TakeRegistrySnapshot(HKEY_CLASSES_ROOT);
    if (original.empty()) {
        std::fprintf(stderr, "registration_bench: HKEY_CLASSES_ROOT could not be read\n");
        return 1;
    }

    // The class's key shows that the DLL's own commands did their work.
    Command commands[] = {
        {"regsvr32 /s", regsvr32 + L"/s" + dll, Leaves::kClass, {}},
        {"regsvr32 /u /s", regsvr32 + L"/u /s" + dll, Leaves::kNoClass, {}},
        {"regsvr32 /s", regsvr32 + L"/s" + nullServer, Leaves::kAsItFoundIt, {}},
        {"regsvr32 /u /s", regsvr32 + L"/u /s" + nullServer, Leaves::kAsItFoundIt, {}},
    };
    // One untimed round first: the first start of a program pays for reading it from disk.
    for (int round = -1; round < kRounds; ++round) {
        // The pairs take turns at going first.
        const int order[2][4] = {{0, 1, 2, 3}, {2, 3, 0, 1}};
        for (int index : order[(round + 2) % 2]) {
            Command& command = commands[index];
            bool registeredBefore = ClassRegistered();
            double seconds = Run(command);
            if (round >= 0) {
                command.seconds.push_back(seconds);
            }
            bool expected = command.leaves == Leaves::kAsItFoundIt ? registeredBefore
                                                                   : command.leaves == Leaves::kClass;
            if (ClassRegistered() != expected) {
                std::fprintf(stderr, "registration_bench: %ls\n", command.commandLine.c_str());
                Fail(expected ? "the class is not registered afterwards" : "the class is registered afterwards", 0);
            }
        }
    }
    std::vector<std::string> left;
    size_t differences = PutBack(left);

    std::printf("## Registration with regsvr32\n\n");
    std::printf("The prefix's own `regsvr32`, run as a child process on the build's vtlMenu.dll and on "
                "vtl_null_server.dll (registration exports that return at once), timed from process "
                "creation to exit; %d rounds in which the four commands take turns, after one untimed "
                "round. Times are medians; the ratio is the median of the rounds' ratios, each of two runs "
                "close together in time, which keeps it steady on a busy machine. Process start-up under Wine "
                "is in both columns.\n\n",
                kRounds);
    std::printf("| Command | vtlMenu.dll | vtl_null_server.dll | Ratio | Difference |\n|---|---|---|---|---|\n");
    std::vector<std::pair<std::string, std::string>> summary;
    for (int index = 0; index < 2; ++index) {
        const std::vector<double>& module = commands[index].seconds;
        const std::vector<double>& baseline = commands[index + 2].seconds;
        std::vector<double> ratios;
        for (size_t round = 0; round < module.size(); ++round) {
            ratios.push_back(module[round] / baseline[round]);
        }
        double ratio = Median(ratios);
        std::printf("| `%s` | %.1f ms | %.1f ms | **%.2fx** | %+.1f ms |\n", commands[index].text,
                    Median(module) * 1e3, Median(baseline) * 1e3, ratio, (Median(module) - Median(baseline)) * 1e3);
        char measurement[96];
        char figure[96];
        std::snprintf(measurement, sizeof(measurement), "`%s` on vtlMenu.dll against a DLL that registers nothing",
                      commands[index].text);
        std::snprintf(figure, sizeof(figure), "%.0f ms / %.0f ms, %.2f x", Median(module) * 1e3,
                      Median(baseline) * 1e3, ratio);
        summary.push_back({measurement, figure});
    }
    std::printf("\nHKEY_CLASSES_ROOT (%zu keys) compared with its state before the run: ", original.size());
    if (!left.empty()) {
        std::printf("**%zu differences left**.\n", left.size());
    } else if (differences > 0) {
        std::printf("equal again after %zu differences were put back.\n", differences);
    } else {
        std::printf("equal.\n");
    }
    for (const auto& [measurement, figure] : summary) {
        PrintSummaryRow(measurement.c_str(), figure.c_str(), "-", "reported");
    }
    for (const std::string& line : left) {
        std::fprintf(stderr, "registration_bench: %s\n", line.c_str());
    }
    return left.empty() ? 0 : 1;
}
