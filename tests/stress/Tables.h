#pragma once
// The tables after the runs: outcomes by kind, kind by outcome, and each entry point's longest
// call.

#include "Runs.h"

#include <string>
#include <vector>

// what names the runs in the summary lines.
void PrintTables(const std::string& what, const std::vector<Run>& runs, const std::vector<Result>& results);
