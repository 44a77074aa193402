// Applies generated registry scripts of 1,000 and 10,000 keys (register, then unregister) and
// reports both times, their ratio, and the share of time spent outside the registry's own
// calls. That share is measured, not estimated: this program's import table entries for the
// registry functions are pointed at wrappers that time each call the engine makes, so
// "registry time" is the sum of the durations of the engine's own registry calls.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_report.h"
#include "regscript/replacement_map.h"
#include "regscript/script_walk.h"
#include "server/module_lifecycle.h"

namespace {

LONGLONG registryTicks = 0;
LONGLONG registryCalls = 0;

class RegistryTimer {
public:
    RegistryTimer() { QueryPerformanceCounter(&start_); }
    ~RegistryTimer()
    {
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        registryTicks += end.QuadPart - start_.QuadPart;
        ++registryCalls;
    }

private:
    LARGE_INTEGER start_;
};

#define TIMED_REGISTRY_CALL(name, parameters, arguments)               \
    using name##Function = LONG(WINAPI*) parameters;                    \
    name##Function real##name = nullptr;                                \
    LONG WINAPI Timed##name parameters                                  \
    {                                                                   \
        RegistryTimer timer;                                            \
        return real##name arguments;                                    \
    }

TIMED_REGISTRY_CALL(RegOpenKeyExW, (HKEY k, LPCWSTR n, DWORD o, REGSAM a, PHKEY r), (k, n, o, a, r))
TIMED_REGISTRY_CALL(RegCreateKeyExW,
                    (HKEY k, LPCWSTR n, DWORD z, LPWSTR c, DWORD o, REGSAM a,
                     const LPSECURITY_ATTRIBUTES s, PHKEY r, LPDWORD d),
                    (k, n, z, c, o, a, s, r, d))
TIMED_REGISTRY_CALL(RegSetValueExW,
                    (HKEY k, LPCWSTR n, DWORD z, DWORD t, const BYTE* b, DWORD c),
                    (k, n, z, t, b, c))
TIMED_REGISTRY_CALL(RegDeleteKeyW, (HKEY k, LPCWSTR n), (k, n))
TIMED_REGISTRY_CALL(RegDeleteValueW, (HKEY k, LPCWSTR n), (k, n))
TIMED_REGISTRY_CALL(RegCloseKey, (HKEY k), (k))
TIMED_REGISTRY_CALL(RegEnumKeyExW,
                    (HKEY k, DWORD i, LPWSTR n, LPDWORD l, LPDWORD r, LPWSTR c, LPDWORD cl,
                     PFILETIME t),
                    (k, i, n, l, r, c, cl, t))
TIMED_REGISTRY_CALL(RegEnumValueW,
                    (HKEY k, DWORD i, LPWSTR n, LPDWORD l, LPDWORD r, LPDWORD t, LPBYTE d,
                     LPDWORD dl),
                    (k, i, n, l, r, t, d, dl))
TIMED_REGISTRY_CALL(RegQueryInfoKeyW,
                    (HKEY k, LPWSTR c, LPDWORD cl, LPDWORD r, LPDWORD sk, LPDWORD msk, LPDWORD mc,
                     LPDWORD v, LPDWORD mvn, LPDWORD mvd, LPDWORD sd, PFILETIME t),
                    (k, c, cl, r, sk, msk, mc, v, mvn, mvd, sd, t))

struct Hook {
    const char* name;
    void** real;
    void* timed;
};

#define HOOK(name) {#name, reinterpret_cast<void**>(&real##name), reinterpret_cast<void*>(Timed##name)}
const Hook kHooks[] = {HOOK(RegOpenKeyExW),  HOOK(RegCreateKeyExW), HOOK(RegSetValueExW),
                       HOOK(RegDeleteKeyW),  HOOK(RegDeleteValueW), HOOK(RegCloseKey),
                       HOOK(RegEnumKeyExW),  HOOK(RegEnumValueW),   HOOK(RegQueryInfoKeyW)};

// Points this program's import entries for the registry functions at the timed wrappers.
int HookRegistryImports()
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int hooked = 0;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name; ++module) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : kHooks) {
                if (strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0) {
                    continue;
                }
                DWORD protection;
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
                *hook.real = reinterpret_cast<void*>(slots->u1.Function);
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook.timed);
                VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
                ++hooked;
            }
        }
    }
    return hooked;
}

// keys / 10 group keys, each with a default and a named value and nine subkeys whose default
// values are string, number and binary in turn.
std::wstring GenerateScript(int keys)
{
    std::wstring script = L"HKCU { NoRemove Software { NoRemove vtlMenuBench { Bench {\r\n";
    for (int group = 0; group < keys / 10; ++group) {
        std::wstring name = std::to_wstring(group);
        script += L"\tGroup" + name + L" = s 'Group ''" + name + L"''' {\r\n\t\tval Path = s '%MODULE%'\r\n";
        for (int child = 0; child < 9; ++child) {
            static const wchar_t* const values[] = {L"s 'a value'", L"d '4242'", L"b '0aFF10'"};
            script += L"\t\tKey" + std::to_wstring(child) + L" = " + values[child % 3] + L"\r\n";
        }
        script += L"\t}\r\n";
    }
    return script + L"} } } }\r\n";
}

struct Phase {
    double milliseconds;
    double registryMilliseconds;
    LONGLONG calls;
};

double Milliseconds(LONGLONG ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

Phase Apply(const std::wstring& script, BOOL doRegister)
{
    ReplacementMap map;
    map.Add(L"Module", L"C:\\Program Files\\vtlMenu\\vtlMenu.dll");
    ScriptReader reader = {nullptr, &map};
    registryTicks = 0;
    registryCalls = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    HRESULT result = RunScript(reader, script.c_str(), doRegister);
    QueryPerformanceCounter(&end);
    if (result != S_OK) {
        std::printf("RunScript failed: 0x%08lx\n", static_cast<unsigned long>(result));
        ExitProcess(1);
    }
    return {Milliseconds(end.QuadPart - start.QuadPart), Milliseconds(registryTicks), registryCalls};
}

DWORD BenchSubkeys()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\vtlMenuBench\\Bench", 0, KEY_READ, &key)) {
        return 0;
    }
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

struct Row {
    int keys;
    Phase registerPhase, unregisterPhase;
    double Total() const { return registerPhase.milliseconds + unregisterPhase.milliseconds; }
    double Registry() const
    {
        return registerPhase.registryMilliseconds + unregisterPhase.registryMilliseconds;
    }
};

// The median of five register-then-unregister runs, by total time.
Row Measure(int keys)
{
    std::wstring script = GenerateScript(keys);
    std::vector<Row> runs;
    for (int run = 0; run < 5; ++run) {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\vtlMenuBench");
        Row row{keys, Apply(script, TRUE), {}};
        if (BenchSubkeys() != static_cast<DWORD>(keys / 10)) {
            std::printf("register left %lu groups, not %d\n", BenchSubkeys(), keys / 10);
            ExitProcess(1);
        }
        row.unregisterPhase = Apply(script, FALSE);
        if (BenchSubkeys() != 0) {
            std::printf("unregister left keys behind\n");
            ExitProcess(1);
        }
        runs.push_back(row);
    }
    std::sort(runs.begin(), runs.end(), [](const Row& a, const Row& b) { return a.Total() < b.Total(); });
    return runs[runs.size() / 2];
}

// The cost of the timing itself: one pair of counter reads, as each wrapped call makes.
double TimerPairMicroseconds()
{
    const int pairs = 100000;
    LARGE_INTEGER start, end, scratch;
    QueryPerformanceCounter(&start);
    for (int pair = 0; pair < pairs; ++pair) {
        QueryPerformanceCounter(&scratch);
        QueryPerformanceCounter(&scratch);
    }
    QueryPerformanceCounter(&end);
    return 1000.0 * Milliseconds(end.QuadPart - start.QuadPart) / pairs;
}

}  // namespace

int main()
{
    ModuleState record = {};
    InitModule(&record, vtlMenuClassTable, GetModuleHandleW(nullptr));
    int hooked = HookRegistryImports();
    if (hooked != static_cast<int>(sizeof(kHooks) / sizeof(kHooks[0]))) {
        std::printf("only %d of the registry imports could be timed\n", hooked);
        return 1;
    }

    Row small = Measure(1000);
    Row large = Measure(10000);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\vtlMenuBench");
    double timer = TimerPairMicroseconds();

    std::printf("## Registry script engine\n\n");
    std::printf("Generated scripts of nested keys with string, number and binary values and a named "
                "value per group, applied with `RunScript` under HKEY_CURRENT_USER: register, then "
                "unregister; median of five runs each.\n\n");
    std::printf("| keys | register ms | unregister ms | total ms | registry calls | in registry calls ms "
                "| outside registry calls |\n|---|---|---|---|---|---|---|\n");
    for (const Row& row : {small, large}) {
        std::printf("| %d | %.1f | %.1f | %.1f | %lld | %.1f | %.1f%% |\n", row.keys,
                    row.registerPhase.milliseconds, row.unregisterPhase.milliseconds, row.Total(),
                    row.registerPhase.calls + row.unregisterPhase.calls, row.Registry(),
                    100.0 * (row.Total() - row.Registry()) / row.Total());
    }
    double growth = large.Total() / small.Total();
    std::printf("\n10,000 keys / 1,000 keys: **%.2fx** (goal: at most 11x).\n\n", growth);
    std::printf("Registry time is the sum of the durations of the engine's own registry calls, timed "
                "by wrappers put in this program's import table. One pair of counter reads costs "
                "%.3f us, so the timing adds about %.1f ms to the 10,000-key run.\n",
                timer, timer * static_cast<double>(large.registerPhase.calls + large.unregisterPhase.calls) / 1000.0);
    char figure[96];
    std::snprintf(figure, sizeof(figure), "%.0f ms / %.0f ms = %.2f x; %.1f%% outside registry calls",
                  large.Total(), small.Total(), growth, 100.0 * (large.Total() - large.Registry()) / large.Total());
    PrintSummaryRow("Registry script, 10,000 keys against 1,000 (register + unregister)", figure, "at most 11 x",
                    growth <= 11 ? "met" : "not met");
    TermModule(&record);
    return 0;
}
