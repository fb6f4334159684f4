#pragma once
// What the process holds: handles, GDI and USER objects, windows, private bytes and the live
// bytes on its heaps, read by every means the platform offers.

#include <string>

// A figure the platform does not keep is -1 and is left out of the checks.
struct Figures {
    long handles = -1;
    long gdiObjects = -1;
    long userObjects = -1;
    long windows = -1;
    long long privateBytes = -1;
    long long heapBytes = -1;
    // Whether the platform reported private bytes, rather than only its older page-file figure.
    bool privateReported = false;
};

// Measures once the threads and handles of a closed session have gone, which they do a little
// after destroy returns.
Figures Measure();
void PrintFigures(const char* label, const Figures& figures);

// The memory and threads the system itself counts for the whole process. Under Wine these are
// the Linux process's resident and anonymous resident memory, which Wine's own counters miss;
// elsewhere the working set and private bytes.
struct SystemFigures {
    double residentMiB = -1;
    double anonymousMiB = -1;
    long threads = -1;
};

// The Linux process is found once, by marker, a word of its command line: under Wine
// /proc/self can answer for another process.
SystemFigures MeasureSystem(const std::wstring& marker);
