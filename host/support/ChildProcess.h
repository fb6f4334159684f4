#pragma once
// This program run again as a child process, with what it writes read while it runs: a full
// pipe never stalls it, and a child that has to be ended still tells what it was doing.

#include <windows.h>

#include <string>

struct ChildRun {
    // What failed when the child could not be started ("CreateProcessW error 2", ...); empty
    // once it was.
    std::string startFailure;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output;
};

// The child's standard output is read, and with errorsToo its standard error into the same
// text. A child still running after limitMs is ended with ERROR_TIMEOUT.
ChildRun RunThisProgramAgain(const std::wstring& arguments, DWORD limitMs, bool errorsToo);
