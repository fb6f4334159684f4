#pragma once
// The tables after the runs: outcomes by kind, kind by outcome, and each entry point's longest
// call.

#include "Runs.h"

#include <vector>

void PrintTables(const std::vector<Run>& runs, const std::vector<Result>& results);
