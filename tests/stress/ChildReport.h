#pragma once
// What a host process tells the runner: lines on its standard output, one record each,
// tab-separated and UTF-8: setup, box, slow, note, harm, calls, crash and finally outcome.

#include "host/support/CallWatch.h"

#include <windows.h>

#include <string>

void ReportLine(const std::string& text);

// From here on a crash on any thread is told, before the process ends with the exception's code.
void ReportCrashes(DWORD hostThread);

// While it lives, a crash report names the innermost call of watch in progress.
class CrashNamesCall {
public:
    explicit CrashNamesCall(const CallWatch& watch);
    ~CrashNamesCall();
    CrashNamesCall(const CrashNamesCall&) = delete;
    CrashNamesCall& operator=(const CrashNamesCall&) = delete;
};
