#include "Tables.h"

#include "Text.h"

#include "host/support/Summary.h"

#include <algorithm>
#include <map>
#include <string>

namespace {

// The broad class of an outcome, for the matrix of kinds.
std::string ColumnOf(const std::string& outcome) {
    return outcome.rfind("refused: ", 0) == 0 ? "refused" : outcome;
}

}  // namespace

void PrintTables(const std::string& what, const std::vector<Run>& runs, const std::vector<Result>& results) {
    std::vector<std::string> kinds;
    std::map<std::string, std::map<std::string, int>> matrix;
    std::map<std::string, std::map<std::string, int>> byOutcome;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string& kind = runs[i].kind;
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
        for (const std::string& key : {kind, std::string("all")}) {
            ++matrix[key][ColumnOf(results[i].outcome)];
            ++matrix[key]["total"];
            if (!results[i].harm.empty()) ++matrix[key]["harmed"];
        }
        ++byOutcome[kind][results[i].outcome];
    }
    kinds.push_back("all");

    const std::vector<std::string> columns = {"played", "still", "icon", "blank", "not attached", "refused",
                                              "refused without a box", "hang", "crash", "setup failed",
                                              "harmed", "total"};
    Print("\nOutcomes by kind (" + std::string(sizeof(void*) == 8 ? "x64" : "x86") + ")\n");
    std::string head = Padded("kind", 20);
    for (const std::string& column : columns) head += "  " + column;
    Print(head + "\n");
    for (const std::string& kind : kinds) {
        std::string row = Padded(kind, 20);
        for (const std::string& column : columns)
            row += "  " + RightAligned(std::to_string(matrix[kind][column]), column.size());
        Print(row + "\n");
    }

    Print("\nkind x outcome\n");
    for (const std::string& kind : kinds) {
        for (const auto& [outcome, count] : byOutcome[kind])
            Print("  " + Padded(kind, 20) + RightAligned(std::to_string(count), 4) + "  " + outcome + "\n");
    }

    // The slowest call of each entry point over all runs, and the file it was made for.
    std::map<std::string, std::pair<ULONGLONG, size_t>> longest;
    for (size_t i = 0; i < results.size(); ++i) {
        for (const auto& [name, call] : results[i].calls) {
            auto& slowest = longest[name];
            if (call.first && call.second >= slowest.first) slowest = {call.second, i};
        }
    }
    Print("\nLongest call of each entry point\n");
    for (const auto& [name, slowest] : longest) {
        Print("  " + Padded(name, 10) + RightAligned(std::to_string(slowest.first) + " ms", 9) + "  " +
              runs[slowest.second].label + "\n");
    }
    for (const auto& [name, slowest] : longest) {
        PrintSummary({what + ": longest " + name + ", ms", static_cast<double>(slowest.first), std::nullopt,
                      "-", "-"});
    }
}
