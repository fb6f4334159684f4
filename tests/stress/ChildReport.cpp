#include "ChildReport.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace {

DWORD hostThread = 0;
std::atomic<const CallWatch*> crashWatch{nullptr};

// For the crash handler, which must neither wait for a lock nor allocate.
void ReportRaw(const char* text, size_t length) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
}

// "name.dll+0x1234" for an address inside a loaded module, into a caller's buffer: the crash
// handler must not allocate. False for an address outside every module.
bool DescribeAddress(const void* address, char* out, size_t size) {
    HMODULE module = nullptr;
    char path[MAX_PATH] = "";
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module) ||
        !GetModuleFileNameA(module, path, MAX_PATH)) {
        std::snprintf(out, size, "%p", address);
        return false;
    }
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/') name = c + 1;
    }
    const auto offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module);
    std::snprintf(out, size, "%s+0x%llx", name, static_cast<unsigned long long>(offset));
    return true;
}

// Tells the parent what failed, on which thread, in which call and where. Unwinding needs more
// than a crash handler should do, so the stack is given as the words on it that point into a
// module: the return addresses among them name the callers.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    const CallWatch* watch = crashWatch;
    const char* call = watch ? watch->Innermost() : nullptr;
    char where[160];
    DescribeAddress(exception->ExceptionRecord->ExceptionAddress, where, sizeof(where));
    char line[1024];
    int length = std::snprintf(line, sizeof(line), "crash\t0x%08lX in %s, at %s on the %s thread\tstack:",
                               static_cast<unsigned long>(code), call ? call : "no entry point", where,
                               GetCurrentThreadId() == hostThread ? "host's" : "another");
#if defined(_WIN64)
    auto* word = reinterpret_cast<void* const*>(exception->ContextRecord->Rsp);
#else
    auto* word = reinterpret_cast<void* const*>(exception->ContextRecord->Esp);
#endif
    // The top of this thread's stack: the end of the committed region that holds it.
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(word, &region, sizeof(region));
    const auto* stackBase =
        reinterpret_cast<void* const*>(static_cast<const char*>(region.BaseAddress) + region.RegionSize);
    for (int found = 0; word < stackBase && found < 16 && length > 0 &&
                        static_cast<size_t>(length) < sizeof(line) - 80;
         ++word) {
        if (!DescribeAddress(*word, where, sizeof(where))) continue;
        length += std::snprintf(line + length, sizeof(line) - length, " %s", where);
        ++found;
    }
    if (length > 0 && static_cast<size_t>(length) < sizeof(line) - 1) line[length++] = '\n';
    ReportRaw(line, static_cast<size_t>(std::max(length, 0)));
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void ReportLine(const std::string& text) {
    static std::mutex mutex;
    const std::lock_guard<std::mutex> lock(mutex);
    const std::string line = text + "\n";
    ReportRaw(line.data(), line.size());
}

void ReportCrashes(DWORD thread) {
    hostThread = thread;
    SetUnhandledExceptionFilter(ReportCrash);
}

CrashNamesCall::CrashNamesCall(const CallWatch& watch) { crashWatch = &watch; }

CrashNamesCall::~CrashNamesCall() { crashWatch = nullptr; }
