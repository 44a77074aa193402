#include "runtime/module_heaps.h"

namespace {

// In round-robin mode each block starts with this header; the caller's address lies behind it.
constexpr SIZE_T kHeaderSize = 8;
static_assert(sizeof(HANDLE) <= kHeaderSize, "the heap handle fits the block header");

BYTE* HeaderOf(void* block)
{
    return static_cast<BYTE*>(block) - kHeaderSize;
}

HANDLE& HeapNamedIn(BYTE* header)
{
    return *reinterpret_cast<HANDLE*>(header);
}

void* PayloadOf(BYTE* header, HANDLE heap)
{
    HeapNamedIn(header) = heap;
    return header + kHeaderSize;
}

bool SizeWithHeader(SIZE_T size, SIZE_T& total)
{
    if (size > static_cast<SIZE_T>(-1) - kHeaderSize) {
        return false;
    }
    total = size + kHeaderSize;
    return true;
}

// Leaves the record as if no heap had ever been made.
void DiscardHeaps(ModuleState& module, UINT32 createdInSet)
{
    for (UINT32 index = 0; index < createdInSet; ++index) {
        HeapDestroy(module.heapArray[index]);
    }
    if (module.privateHeap) {
        HeapDestroy(module.privateHeap);  // the array's storage goes with it
    }
    module.privateHeap = nullptr;
    module.heapArray = nullptr;
    module.heapMask = 0;
}

}  // namespace

HeapSystemFacts ReadHeapSystemFacts()
{
    // A failed query leaves the record cleared, which counts as a system older than NT 5.
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);

    SYSTEM_INFO system = {};
    GetSystemInfo(&system);

    return HeapSystemFacts{version.dwPlatformId, version.dwMajorVersion,
                           system.dwNumberOfProcessors, HeapCreate};
}

UINT32 RoundRobinHeapMask(DWORD processorCount)
{
    UINT32 mask = 0xFFFFFFFFu;
    UINT32 probe = static_cast<UINT32>(processorCount) * 2u;
    for (int shifts = 0; shifts < 32 && (probe & 0x80000000u) == 0; ++shifts) {
        probe <<= 1;
        mask >>= 1;
    }
    return mask >> 1;
}

void StartModuleHeaps(ModuleState& module, const HeapSystemFacts& facts)
{
    module.heapArray = nullptr;
    module.heapMask = 0;
    module.privateHeap = facts.createHeap(0, 0, 0);
    if (!module.privateHeap) {
        return;
    }

    if (facts.platformId == VER_PLATFORM_WIN32_NT && facts.majorVersion >= 5) {
        return;
    }
    if (facts.processorCount <= 1) {
        return;
    }

    UINT32 mask = RoundRobinHeapMask(facts.processorCount);
    SIZE_T count = static_cast<SIZE_T>(mask) + 1;
    // In the 32-bit build a set of 2^31 heaps would wrap the byte count to a tiny array.
    bool countFits = count <= static_cast<SIZE_T>(-1) / sizeof(HANDLE);
    auto* heaps = countFits ? static_cast<HANDLE*>(HeapAlloc(module.privateHeap, 0, count * sizeof(HANDLE)))
                            : nullptr;
    if (!heaps) {
        DiscardHeaps(module, 0);
        return;
    }
    module.heapArray = heaps;
    for (UINT32 index = 0; index <= mask; ++index) {
        heaps[index] = facts.createHeap(0, 0, 0);
        if (!heaps[index]) {
            DiscardHeaps(module, index);
            return;
        }
    }
    module.heapMask = mask;
}

void StartModuleHeaps(ModuleState& module)
{
    StartModuleHeaps(module, ReadHeapSystemFacts());
}

void StopModuleHeaps(ModuleState& module)
{
    if (!module.privateHeap || !module.destroyHeaps) {
        return;
    }
    if (module.heapArray) {
        for (UINT32 index = 0; index <= module.heapMask; ++index) {
            HeapDestroy(module.heapArray[index]);
        }
    }
    HeapDestroy(module.privateHeap);
    module.privateHeap = nullptr;
    module.heapArray = nullptr;
    module.heapMask = 0;
}

void* ModuleAlloc(SIZE_T size)
{
    ModuleState& module = *theModule;
    if (!module.heapArray) {
        return module.privateHeap ? HeapAlloc(module.privateHeap, 0, size) : nullptr;
    }
    SIZE_T total;
    if (!SizeWithHeader(size, total)) {
        return nullptr;
    }
    // A plain increment: two threads may pick the same heap, which only changes the spread.
    HANDLE heap = module.heapArray[module.heapCursor++ & module.heapMask];
    auto* header = static_cast<BYTE*>(HeapAlloc(heap, 0, total));
    return header ? PayloadOf(header, heap) : nullptr;
}

void* ModuleRealloc(void* block, SIZE_T size)
{
    if (!block) {
        return ModuleAlloc(size);
    }
    ModuleState& module = *theModule;
    if (!module.heapArray) {
        return HeapReAlloc(module.privateHeap, 0, block, size);
    }
    SIZE_T total;
    if (!SizeWithHeader(size, total)) {
        return nullptr;
    }
    BYTE* header = HeaderOf(block);
    HANDLE heap = HeapNamedIn(header);
    auto* moved = static_cast<BYTE*>(HeapReAlloc(heap, 0, header, total));
    return moved ? PayloadOf(moved, heap) : nullptr;
}

void ModuleFree(void* block)
{
    if (!block) {
        return;
    }
    ModuleState& module = *theModule;
    if (!module.heapArray) {
        HeapFree(module.privateHeap, 0, block);
        return;
    }
    BYTE* header = HeaderOf(block);
    HeapFree(HeapNamedIn(header), 0, header);
}
