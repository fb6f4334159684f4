#include "ProcessFigures.h"

#include "Report.h"

#include "common/Owned.h"
#include "host/support/MessagePump.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD SETTLE_MS = 1000;
constexpr double KIB_PER_MIB = 1024;

using Handle = Owned<HANDLE, CloseHandle>;
using Search = Owned<HANDLE, FindClose>;

BOOL CALLBACK CountChild(HWND, LPARAM data) {
    ++*reinterpret_cast<long*>(data);
    return TRUE;
}

BOOL CALLBACK CountWithChildren(HWND window, LPARAM data) {
    ++*reinterpret_cast<long*>(data);
    EnumChildWindows(window, CountChild, data);
    return TRUE;
}

// Windows of this thread, child windows included: the panel's controls, menus and boxes that
// a teardown left behind show here even where the platform counts no USER objects.
long CountThreadWindows() {
    long count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWithChildren, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The platform's list of every open handle, for platforms whose handle count answers 0.
struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
constexpr ULONG SYSTEM_EXTENDED_HANDLE_INFORMATION = 64;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

long CountHandlesInSystemList() {
    const auto query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<ULONG_PTR> buffer(1 << 16);
    LONG status = 0;
    ULONG needed = 0;
    const auto bytes = [&] { return static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)); };
    while ((status = query(SYSTEM_EXTENDED_HANDLE_INFORMATION, buffer.data(), bytes(), &needed)) ==
           STATUS_INFO_LENGTH_MISMATCH) {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return -1;
    const ULONG_PTR count = buffer[0];
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + 2);
    const ULONG_PTR self = GetCurrentProcessId();
    return static_cast<long>(std::count_if(entries, entries + count, [&](const HandleEntry& e) { return e.processId == self; }));
}

// Where GetGuiResources is not implemented, the process's GDI handle table that its process
// environment block points to, in the layout of the platforms that provide it there.
struct GdiTableEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t userPointer;
};
using QueryProcessInformationFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

long CountGdiTableEntries() {
#if defined(_WIN64)
    constexpr size_t GDI_TABLE_ENTRIES = 0x10000;
    const auto query = reinterpret_cast<QueryProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) < 0) return -1;
    const auto* environment = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<const GdiTableEntry* const*>(environment + 0xF8);
    if (!table) return -1;
    return static_cast<long>(std::count_if(table, table + GDI_TABLE_ENTRIES, [](const GdiTableEntry& e) { return e.type != 0; }));
#else
    return -1;
#endif
}

long GuiObjects(DWORD kind) {
    SetLastError(ERROR_SUCCESS);
    const DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    if (count != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return static_cast<long>(count);
    return kind == GR_GDIOBJECTS ? CountGdiTableEntries() : -1;
}

// The bytes of all live blocks on the process's heaps: what the module, the runtime and the
// platform's own code hold right now, without the freed pages a heap keeps, nor a decoder's
// memory outside these heaps.
long long LiveHeapBytes() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    const DWORD count = std::min<DWORD>(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()),
                                        static_cast<DWORD>(heaps.size()));
    long long total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

std::string Figure(long long value) { return value < 0 ? "n/a" : std::to_string(value); }

// Files of the Linux /proc, which Wine shows on drive Z:, report a size of 0: read to the end.
std::string ReadWholeFile(const std::wstring& path) {
    const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return {};
    const Handle file(opened);
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read) text.append(chunk, read);
    return text;
}

// The /proc folder of the Linux process whose command line holds marker; empty outside Wine.
std::wstring FindLinuxProcess(const std::wstring& marker) {
    const std::string word(marker.begin(), marker.end());
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (first == INVALID_HANDLE_VALUE) return {};
    const Search search(first);
    do {
        const std::wstring name = found.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::wstring folder = L"Z:\\proc\\" + name;
        if (ReadWholeFile(folder + L"\\cmdline").find(word) != std::string::npos) return folder;
    } while (FindNextFileW(search.get(), &found));
    return {};
}

// A "Name:  value" line of a Linux status file; -1 when it is missing.
long StatusField(const std::string& status, const char* name) {
    const size_t at = status.find("\n" + std::string(name) + ":");
    if (at == std::string::npos) return -1;
    return std::strtol(status.c_str() + at + std::char_traits<char>::length(name) + 2, nullptr, 10);
}

long CountOwnThreads() {
    const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (taken == INVALID_HANDLE_VALUE) return -1;
    const Handle snapshot(taken);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof(thread);
    long count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &thread); more; more = Thread32Next(snapshot.get(), &thread)) {
        if (thread.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    return count;
}

}  // namespace

Figures Measure() {
    PumpMessages(SETTLE_MS);
    Figures figures;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    figures.handles = handles ? static_cast<long>(handles) : CountHandlesInSystemList();
    figures.gdiObjects = GuiObjects(GR_GDIOBJECTS);
    figures.userObjects = GuiObjects(GR_USEROBJECTS);
    figures.windows = CountThreadWindows();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    // The two are documented as one figure; some platforms fill only the older field (Wine: with
    // the resident anonymous memory of the whole process, native decoder heaps included).
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        figures.privateReported = memory.PrivateUsage != 0;
        figures.privateBytes = static_cast<long long>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
    }
    figures.heapBytes = LiveHeapBytes();
    return figures;
}

void PrintFigures(const char* label, const Figures& f) {
    Say("  %-22s handles %5s  GDI %4s  USER %4s  windows %3s  private %8.2f MiB  heap %7.2f MiB", label,
        Figure(f.handles).c_str(), Figure(f.gdiObjects).c_str(), Figure(f.userObjects).c_str(),
        Figure(f.windows).c_str(), static_cast<double>(f.privateBytes) / (1 << 20),
        static_cast<double>(f.heapBytes) / (1 << 20));
}

SystemFigures MeasureSystem(const std::wstring& marker) {
    static const std::wstring linuxProcess = FindLinuxProcess(marker);
    SystemFigures figures;
    if (!linuxProcess.empty()) {
        const std::string status = ReadWholeFile(linuxProcess + L"\\status");
        figures.residentMiB = static_cast<double>(StatusField(status, "VmRSS")) / KIB_PER_MIB;
        figures.anonymousMiB = static_cast<double>(StatusField(status, "RssAnon")) / KIB_PER_MIB;
        figures.threads = StatusField(status, "Threads");
        return figures;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        figures.residentMiB = static_cast<double>(memory.WorkingSetSize) / (1 << 20);
        figures.anonymousMiB = static_cast<double>(memory.PrivateUsage) / (1 << 20);
    }
    figures.threads = CountOwnThreads();
    return figures;
}
