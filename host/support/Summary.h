#pragma once
// The closing summary of the benchmark and stress runs: one line per figure, marked so that the
// front door can gather the lines of every program and both architectures into one table.

#include <optional>
#include <string>

// A figure of the module's, what it is held to (the same measured without the module), the
// goal and whether it was met: "met", "MISSED", "FAILED", "-" without a goal, or why it could
// not be judged.
struct SummaryLine {
    std::string figure;
    std::optional<double> module;
    std::optional<double> other;
    std::string goal = "-";
    std::string verdict = "-";
};

void PrintSummary(const SummaryLine& line);

// The verdict of a figure whose goal is a bound: met when held is true.
inline const char* Verdict(bool held) { return held ? "met" : "MISSED"; }
