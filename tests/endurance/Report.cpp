#include "Report.h"

#include <cstdarg>
#include <cstdio>

namespace {

int failures = 0;

void Line(const char* prefix, const char* format, va_list arguments) {
    std::fputs(prefix, stdout);
    std::vprintf(format, arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

void Say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Line("", format, arguments);
    va_end(arguments);
}

void Check(bool held, const char* format, ...) {
    if (held) return;
    ++failures;
    va_list arguments;
    va_start(arguments, format);
    Line("FAIL: ", format, arguments);
    va_end(arguments);
}

int Failures() { return failures; }

void AddFailures(int count) { failures += count; }

const char* StateName(PlayerState state) {
    static const char* const names[] = {"Closed",       "Ready",  "OpenPending", "StartPending", "Started",
                                        "PausePending", "Paused", "StopPending", "Stopped",      "Closing"};
    const auto index = static_cast<size_t>(state);
    return index < sizeof(names) / sizeof(names[0]) ? names[index] : "?";
}
