#include "EntryPoints.h"

#include "host/support/Summary.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr ULONGLONG HANG_LIMIT_MS = 60000;
constexpr DWORD LOOK_PERIOD_MS = 200;

CallWatch* active = nullptr;

void LookAtOutermost(std::vector<CallWatch::Call>& calls) {
    CallWatch::Call& outermost = calls.front();
    const ULONGLONG away = GetTickCount64() - outermost.start;
    if (away > CALL_LIMIT_MS && outermost.warnings == 0) {
        std::printf("LATE: %s has not returned after %llu ms\n", outermost.name, CALL_LIMIT_MS);
        std::fflush(stdout);
        ++outermost.warnings;
    }
    if (away <= HANG_LIMIT_MS) return;
    std::printf("HANG: %s has not returned after %llu ms\n", outermost.name, HANG_LIMIT_MS);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), EXIT_HANG);
}

}  // namespace

Watchdog::Watchdog() : watch_(LOOK_PERIOD_MS, LookAtOutermost) { active = &watch_; }

Watchdog::~Watchdog() { active = nullptr; }

void Watchdog::Report() const {
    for (const auto& [name, times] : watch_.AllTimes()) {
        Say("  %-12s %7llu calls, mean %6.1f ms, longest %5llu ms", name.c_str(), times.count,
            static_cast<double>(times.total) / static_cast<double>(times.count), times.longest);
    }
}

void Watchdog::Summarize() const {
    for (const auto& [name, times] : watch_.AllTimes()) {
        if (name.rfind("direct", 0) == 0) continue;
        PrintSummary({"endurance: longest " + name + ", ms", static_cast<double>(times.longest), std::nullopt,
                      "<= " + std::to_string(CALL_LIMIT_MS), Verdict(times.longest <= CALL_LIMIT_MS)});
    }
}

CallWatch& ActiveWatch() { return *active; }
