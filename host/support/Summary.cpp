#include "host/support/Summary.h"

#include <cstdio>

namespace {

std::string Number(const std::optional<double>& value) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", *value);
    return text;
}

}  // namespace

void PrintSummary(const SummaryLine& line) {
    std::string ratio = "-";
    if (line.module && line.other && *line.other > 0) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.3f", *line.module / *line.other);
        ratio = text;
    }
    std::printf("summary|%s|%s|%s|%s|%s|%s\n", line.figure.c_str(), Number(line.module).c_str(),
                Number(line.other).c_str(), ratio.c_str(), line.goal.c_str(), line.verdict.c_str());
    std::fflush(stdout);
}
