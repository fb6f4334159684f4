#pragma once
// Every entry point of the module must come back within CALL_LIMIT_MS. One that is still away
// at the hang limit is taken for a hang, and the process is ended on the spot with EXIT_HANG
// instead of waiting for a test runner's much later timeout; until then, how late it comes back
// is worth knowing.

#include "Report.h"

#include "host/support/CallWatch.h"

#include <windows.h>

constexpr ULONGLONG CALL_LIMIT_MS = 10000;
constexpr int EXIT_HANG = 3;

// Watches the calls made through Watched and Timed while it lives.
class Watchdog {
public:
    Watchdog();
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Each entry point's calls, mean and longest time.
    void Report() const;
    // Each entry point's longest call, held to the time limit, for the closing summary.
    void Summarize() const;

private:
    CallWatch watch_;
};

// The watch of the living Watchdog.
CallWatch& ActiveWatch();

// A call watched like the entry points but not held to their limit.
template <typename Call>
ULONGLONG Watched(const char* name, Call call) {
    return ::Watched(ActiveWatch(), name, call);
}

// An entry point of the module: watched, and held to the time limit.
template <typename Call>
ULONGLONG Timed(const char* name, Call call) {
    const ULONGLONG elapsed = Watched(name, call);
    Check(elapsed <= CALL_LIMIT_MS, "%s took %llu ms", name, elapsed);
    return elapsed;
}
