#pragma once
// Where open and attach spend their time, step by step, on the module's side and the minimal
// player's.

#include <string>

namespace bench {

// Rounds of both sides, the module's open, attach and the wait until it plays timed from the
// outside and the minimal player's steps from the inside; then, each alone and repeated, the
// parts of the module's open and attach that the minimal player does another way or not at
// all. Prints the medians; 0, or 1 when a side failed.
int MeasureOpenSteps(const std::wstring& path, int rounds);

}  // namespace bench
