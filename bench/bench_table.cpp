// bench_table MEDIA_DIR [--rounds N]
//
// The speed table: the module against a minimal Media Foundation program doing the same work on
// the same 720p movie, each figure the median of N rounds (default 5), both measured in one run.
// Opening, seeking and destroying interleave in this process, alternating which side goes
// first. CPU time and memory are measured in a child process per side and round (this program
// again, with --child), so that the two sides' figures never mix. Last, the module's CPU time
// with a 1080p movie that must be turned upright, against the same movie stored upright.
//
// A side that fails or hangs is told, and the rest is still measured. Exit code 1 only when the
// module's side failed (a missed goal is a figure, not a failure), 2 on a bad command line.

#include "bench/Harness.h"
#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "host/support/ChildProcess.h"
#include "host/support/LoadedModule.h"
#include "host/support/MessagePump.h"
#include "host/support/Summary.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

using bench::RoundPair;

constexpr int DEFAULT_ROUNDS = 5;
constexpr int MAX_ROUNDS = 100;
constexpr double RATIO_GOAL = 1.05;
constexpr double DESTROY_GOAL_MS = 50.0;
constexpr double CPU_WINDOW_MS = 10000.0;
constexpr double MEMORY_AFTER_MS = 3000.0;
constexpr DWORD CHILD_TIMEOUT_MS = 60000;
constexpr wchar_t CHILD_FLAG[] = L"--child";
constexpr wchar_t MOVIE_FLAG[] = L"--movie";
constexpr wchar_t MODULE_SIDE[] = L"module";
constexpr wchar_t MINIMAL_SIDE[] = L"minimal";
// The same 1080p pictures, stored turned with a quarter turn to show, and stored upright.
constexpr wchar_t TURNED_MOVIE[] = L"hd1080-rotate-90.mp4";
constexpr wchar_t UPRIGHT_MOVIE[] = L"hd1080.mp4";
constexpr double TURNED_RATIO_GOAL = 1.15;
// A movie of 1 s played past its end: its session may never report the close that destroy asks
// for, and destroy must not wait for it.
constexpr wchar_t ENDED_MOVIE[] = L"short-48x144.mp4";
constexpr DWORD ENDED_PLAY_MS = 2500;
constexpr double ENDED_DESTROY_GOAL_MS = 100.0;

struct Usage {
    double cpuMs = 0;
    double threadCpuMs = 0;
    double privateBytes = 0;
};

double ToMilliseconds(const FILETIME& time) {
    return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000.0;
}

// The CPU time, kernel and user, that GetProcessTimes or GetThreadTimes reads for of.
double CpuMs(decltype(&GetProcessTimes) read, HANDLE of) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!read(of, &created, &exited, &kernel, &user)) return 0;
    return ToMilliseconds(kernel) + ToMilliseconds(user);
}

double ProcessCpuMs() { return CpuMs(GetProcessTimes, GetCurrentProcess()); }

// The window's thread: where the module's own work runs while the platform plays.
double ThreadCpuMs() { return CpuMs(GetThreadTimes, GetCurrentThread()); }

double PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    // The two are the same commit charge; some systems fill in only the older field.
    return static_cast<double>(counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage);
}

// From the moment playback began: the memory gained since baselineBytes after a few seconds,
// and the CPU time of the whole window.
Usage MeasurePlaying(double baselineBytes) {
    Usage usage;
    const double cpuBefore = ProcessCpuMs();
    const double threadCpuBefore = ThreadCpuMs();
    const bench::Stopwatch playing;
    PumpMessages(static_cast<DWORD>(MEMORY_AFTER_MS));
    usage.privateBytes = PrivateBytes() - baselineBytes;
    PumpMessages(static_cast<DWORD>(std::max(0.0, CPU_WINDOW_MS - playing.Milliseconds())));
    // Scaled to the exact window: the pump ends a little after it.
    const double scale = CPU_WINDOW_MS / playing.Milliseconds();
    usage.cpuMs = (ProcessCpuMs() - cpuBefore) * scale;
    usage.threadCpuMs = (ThreadCpuMs() - threadCpuBefore) * scale;
    return usage;
}

// The child's side: play the movie once, destroy or close it, and print "CPU-ms thread-CPU-ms
// private-bytes".
int RunChild(const std::wstring& path, const std::wstring& side) {
    const ComApartment com;
    const LoadedModule module;
    const bench::Window frame = bench::CreateFrame(L"bench_table");
    if (!module.info() || !frame) return 2;
    // Both sides load the module, so that only what playing adds is counted.
    const double baseline = PrivateBytes();
    std::optional<Usage> usage;
    if (side == MODULE_SIDE) {
        bench::ModuleViewer viewer(*module.info(), frame.get());
        if (viewer.Open(path) &&
            PumpUntil([&] { return viewer.Position().has_value(); }, bench::PLAYING_TIMEOUT_MS)) {
            usage = MeasurePlaying(baseline);
        }
    } else {
        const bench::Window pane = bench::CreatePane(frame.get(), nullptr);
        bench::MinimalPlayer player;
        if (pane && SUCCEEDED(player.Play(path.c_str(), pane.get()))) usage = MeasurePlaying(baseline);
    }
    if (!usage) {
        std::printf("the %ls side did not play\n", side.c_str());
        return 1;
    }
    std::printf("%.1f %.1f %.0f\n", usage->cpuMs, usage->threadCpuMs, usage->privateBytes);
    return 0;
}

// One child's play: the side, and the movie of the media folder (none: the table's own).
struct Play {
    const wchar_t* side;
    const wchar_t* movie;
};

// Runs this program as a child for one play and reads what it printed. A child that printed its
// figures and then hung at its end still gives them; the hang is told in failure all the same.
std::optional<Usage> MeasureInChild(const std::wstring& mediaDir, const Play& play, std::string& failure) {
    std::wstring arguments = L"\"" + mediaDir + L"\" " + CHILD_FLAG + L" " + play.side;
    if (play.movie) arguments += std::wstring(L" ") + MOVIE_FLAG + L" " + play.movie;
    const ChildRun child = RunThisProgramAgain(arguments, CHILD_TIMEOUT_MS, false);
    const std::string name = play.side == std::wstring(MODULE_SIDE) ? "the module's" : "the minimal player's";
    if (!child.startFailure.empty()) {
        failure = name + " child process did not start: " + child.startFailure;
        return bench::Fail(failure.c_str());
    }
    Usage usage;
    const bool read =
        std::sscanf(child.output.c_str(), "%lf %lf %lf", &usage.cpuMs, &usage.threadCpuMs, &usage.privateBytes) == 3;
    if (child.timedOut) {
        failure = name + " child process hung" + (read ? " at its end, after destroy or close" : "");
    } else if (child.exitCode != 0 || !read) {
        failure = name + " child process failed with " + std::to_string(child.exitCode);
    }
    if (!failure.empty()) std::printf("%s: %s\n", failure.c_str(), child.output.c_str());
    if (!read) return std::nullopt;
    return usage;
}

// Destroy of a viewer whose movie has ended, once a round. Module only: the minimal player's
// session is the platform's own, which can hang for good at the end of a movie under Wine.
std::optional<std::vector<double>> MeasureDestroyAfterEnd(const std::wstring& mediaDir, int rounds) {
    const LoadedModule module;
    const bench::Window frame = bench::CreateFrame(L"bench_table");
    if (!module.info() || !frame) return bench::Fail("no module or no window for the ended movie");
    const std::wstring path = mediaDir + L"\\" + ENDED_MOVIE;
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        bench::ModuleViewer viewer(*module.info(), frame.get());
        if (!viewer.Open(path) || !PumpUntil([&] { return viewer.Position().has_value(); }, bench::PLAYING_TIMEOUT_MS))
            return bench::Fail("the 1 s movie did not play");
        PumpMessages(ENDED_PLAY_MS);
        const bench::Stopwatch destroying;
        viewer.Destroy();
        times.push_back(destroying.Milliseconds());
    }
    return times;
}

// What the first and the second play of a round used.
struct UsagePair {
    Usage first;
    Usage second;
};

// The rounds measured in children, and what stopped them early.
struct UsageRounds {
    std::vector<UsagePair> pairs;
    std::string firstFailure;
    std::string secondFailure;
};

// Each round plays both, alternating which goes first.
UsageRounds MeasureUsage(const std::wstring& mediaDir, int rounds, const Play& first, const Play& second) {
    UsageRounds used;
    const auto ofFirst = [&] { return MeasureInChild(mediaDir, first, used.firstFailure); };
    const auto ofSecond = [&] { return MeasureInChild(mediaDir, second, used.secondFailure); };
    for (int round = 0; round < rounds; ++round) {
        std::optional<Usage> firstUsage;
        std::optional<Usage> secondUsage;
        if (round % 2 == 0) {
            firstUsage = ofFirst();
            if (firstUsage) secondUsage = ofSecond();
        } else {
            secondUsage = ofSecond();
            if (secondUsage) firstUsage = ofFirst();
        }
        if (!firstUsage || !secondUsage) break;
        used.pairs.push_back(UsagePair{*firstUsage, *secondUsage});
        const UsagePair& u = used.pairs.back();
        std::printf("usage %d, %ls/%ls: CPU %.1f/%.1f ms, window's thread %.1f/%.1f ms, private %.0f/%.0f KiB\n",
                    round + 1, first.movie ? first.movie : first.side, second.movie ? second.movie : second.side,
                    u.first.cpuMs, u.second.cpuMs, u.first.threadCpuMs, u.second.threadCpuMs,
                    u.first.privateBytes / 1024, u.second.privateBytes / 1024);
        std::fflush(stdout);
        if (!used.firstFailure.empty() || !used.secondFailure.empty()) break;
    }
    return used;
}

// What a line of the table holds to what. Ratio: the module's median against the minimal
// player's; below: the module's median (or its longest round) under the bound.
enum class Goal { None, Ratio, Below, LongestBelow };

// One line of the table: the two medians, their ratio, the goal, whether it was met, and the
// lowest and highest round of each side. A figure with no rounds tells why in its verdict.
struct Row {
    std::string label;
    std::vector<double> module;
    std::vector<double> minimal;
    Goal goal = Goal::None;
    double bound = 0;
    std::string unmeasured;
};

std::string GoalText(const Row& row) {
    char text[32];
    switch (row.goal) {
    case Goal::Ratio:
        std::snprintf(text, sizeof(text), "ratio <= %.2f", row.bound);
        return text;
    case Goal::Below:
        std::snprintf(text, sizeof(text), "< %.0f ms", row.bound);
        return text;
    case Goal::LongestBelow:
        std::snprintf(text, sizeof(text), "longest < %.0f ms", row.bound);
        return text;
    case Goal::None:
        break;
    }
    return "-";
}

std::string VerdictOf(const Row& row) {
    if (row.module.empty()) return "not measured: " + row.unmeasured;
    const double module = bench::Median(row.module);
    switch (row.goal) {
    case Goal::Ratio:
        if (row.minimal.empty()) return "not judged: " + row.unmeasured;
        return Verdict(module <= row.bound * bench::Median(row.minimal));
    case Goal::Below:
        return Verdict(module < row.bound);
    case Goal::LongestBelow:
        return Verdict(*std::max_element(row.module.begin(), row.module.end()) < row.bound);
    case Goal::None:
        break;
    }
    return "-";
}

std::string Figure(const std::vector<double>& values, const char* format) {
    if (values.empty()) return "-";
    char text[48];
    std::snprintf(text, sizeof(text), format, bench::Median(values));
    return text;
}

std::string SpreadText(const std::vector<double>& values) {
    if (values.size() < 2) return "";
    const bench::Spread spread = bench::SpreadOf(values);
    char text[48];
    std::snprintf(text, sizeof(text), "%.1f-%.1f", spread.lowest, spread.highest);
    return text;
}

void PrintRow(const Row& row) {
    std::string ratio = "-";
    if (!row.module.empty() && !row.minimal.empty()) {
        char text[16];
        std::snprintf(text, sizeof(text), "%.3f", bench::Median(row.module) / bench::Median(row.minimal));
        ratio = text;
    }
    const std::string verdict = VerdictOf(row);
    std::printf("%-46s %9s %9s %7s   %-17s %-27s %s\n", row.label.c_str(), Figure(row.module, "%.1f").c_str(),
                Figure(row.minimal, "%.1f").c_str(), ratio.c_str(), GoalText(row).c_str(),
                (SpreadText(row.module) + (row.minimal.size() > 1 ? " / " + SpreadText(row.minimal) : "")).c_str(),
                verdict.c_str());
    const auto median = [](const std::vector<double>& values) -> std::optional<double> {
        if (values.empty()) return std::nullopt;
        return bench::Median(values);
    };
    PrintSummary({row.label, median(row.module), median(row.minimal), GoalText(row), verdict});
}

struct Arguments {
    std::wstring mediaDir;
    int rounds = DEFAULT_ROUNDS;
    std::wstring childSide;
    std::wstring movie;
};

std::optional<Arguments> ParseArguments() {
    int count = 0;
    const bench::ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args || count < 2) return std::nullopt;
    Arguments parsed;
    parsed.mediaDir = args.get()[1];
    for (int i = 2; i + 1 < count; i += 2) {
        const std::wstring name = args.get()[i];
        const wchar_t* value = args.get()[i + 1];
        if (name == L"--rounds") {
            parsed.rounds = _wtoi(value);
        } else if (name == CHILD_FLAG && (std::wstring(value) == MODULE_SIDE || std::wstring(value) == MINIMAL_SIDE)) {
            parsed.childSide = value;
        } else if (name == MOVIE_FLAG) {
            parsed.movie = value;
        } else {
            return std::nullopt;
        }
    }
    if (count % 2 != 0 || parsed.rounds < 1 || parsed.rounds > MAX_ROUNDS) return std::nullopt;
    return parsed;
}

std::string FirstOf(const std::string& one, const std::string& other) { return one.empty() ? other : one; }

}  // namespace

int main() {
    const std::optional<Arguments> arguments = ParseArguments();
    if (!arguments) {
        std::printf("usage: bench_table MEDIA_DIR [--rounds N]\n");
        return 2;
    }
    const std::optional<std::wstring> path = bench::BenchMovie(arguments->mediaDir.c_str());
    if (!path) {
        std::printf("hd720.mp4 not found in the media folder\n");
        return 2;
    }
    if (!arguments->childSide.empty()) {
        if (arguments->movie.empty()) return RunChild(*path, arguments->childSide);
        return RunChild(FullPath(arguments->mediaDir + L"\\" + arguments->movie), arguments->childSide);
    }

    const std::wstring mediaDir = FullPath(arguments->mediaDir);
    const int rounds = arguments->rounds;
    bench::TimedRounds timed;
    if (const int failed = bench::RunTimedRounds(L"bench_table", *path, rounds, true, timed)) return failed;
    const UsageRounds used = MeasureUsage(mediaDir, rounds, {MODULE_SIDE, nullptr}, {MINIMAL_SIDE, nullptr});
    const UsageRounds turned =
        MeasureUsage(mediaDir, rounds, {MODULE_SIDE, TURNED_MOVIE}, {MODULE_SIDE, UPRIGHT_MOVIE});
    const std::string turnedFailure = FirstOf(turned.firstFailure, turned.secondFailure);
    // A session of the platform's own that failed may have left the platform unusable in this
    // process, and the module's sessions with it.
    std::optional<std::vector<double>> endedDestroys;
    std::string endedFailure;
    if (timed.minimalFailure.empty()) {
        endedDestroys = MeasureDestroyAfterEnd(mediaDir, rounds);
        if (!endedDestroys) endedFailure = "the module failed with the 1 s movie";
    } else {
        endedFailure = timed.minimalFailure + ", which may have spoilt the platform in this process";
    }
    for (const std::string& failure :
         {timed.moduleFailure, timed.minimalFailure, used.firstFailure, used.secondFailure, turnedFailure}) {
        if (!failure.empty()) std::printf("%s\n", failure.c_str());
    }

    const auto ofTimed = [&](auto field) { return bench::Collect(timed.pairs, field); };
    const auto ofUsed = [&](auto field) { return bench::Collect(used.pairs, field); };
    const std::string timedFailure = FirstOf(timed.moduleFailure, timed.minimalFailure);
    const std::string usedFailure = FirstOf(used.firstFailure, used.secondFailure);
    const std::vector<Row> rows = {
        {"open+attach until playing, ms", ofTimed([](const RoundPair& p) { return p.module.openMs; }),
         ofTimed([](const RoundPair& p) { return p.minimal.openMs; }), Goal::Ratio, RATIO_GOAL, timedFailure},
        {"open until the first picture, ms", ofTimed([](const RoundPair& p) { return p.module.pictureMs; }),
         ofTimed([](const RoundPair& p) { return p.minimal.pictureMs; }), Goal::Ratio, RATIO_GOAL, timedFailure},
        {"seek until playing at 8 s (bar position), ms", ofTimed([](const RoundPair& p) { return p.module.seekMs; }),
         ofTimed([](const RoundPair& p) { return p.minimal.seekMs; }), Goal::Ratio, RATIO_GOAL, timedFailure},
        {"seek to 3 s by a drag (minimal: a start), ms", ofTimed([](const RoundPair& p) { return p.module.dragMs; }),
         ofTimed([](const RoundPair& p) { return p.minimal.dragMs; }), Goal::None, 0, timedFailure},
        {"destroy while playing / close+shutdown, ms", ofTimed([](const RoundPair& p) { return p.module.closeMs; }),
         ofTimed([](const RoundPair& p) { return p.minimal.closeMs; }), Goal::Below, DESTROY_GOAL_MS, timedFailure},
        {"CPU time while playing 10 s, ms", ofUsed([](const UsagePair& p) { return p.first.cpuMs; }),
         ofUsed([](const UsagePair& p) { return p.second.cpuMs; }), Goal::Ratio, RATIO_GOAL, usedFailure},
        {"  of which the window's thread, ms", ofUsed([](const UsagePair& p) { return p.first.threadCpuMs; }),
         ofUsed([](const UsagePair& p) { return p.second.threadCpuMs; }), Goal::None, 0, usedFailure},
        {"private bytes of one playing viewer, KiB",
         ofUsed([](const UsagePair& p) { return p.first.privateBytes / 1024; }),
         ofUsed([](const UsagePair& p) { return p.second.privateBytes / 1024; }), Goal::None, 0, usedFailure},
        {"destroy after the end of a 1 s movie, ms", endedDestroys.value_or(std::vector<double>{}), {},
         Goal::LongestBelow, ENDED_DESTROY_GOAL_MS, endedFailure},
    };

    std::printf("\nhd720.mp4 (1280x720, 30 fps, 12 s), %s, median of %zu timed and %zu measured rounds; minimal = the "
                "least a Media Foundation program does for the same\n\n",
                sizeof(void*) == 8 ? "x64" : "x86", timed.pairs.size(), used.pairs.size());
    std::printf("%-46s %9s %9s %7s   %-17s %-27s %s\n", "", "module", "minimal", "ratio", "goal",
                "lowest-highest round", "");
    for (const Row& row : rows) PrintRow(row);
    std::printf("\n%-46s %9s %9s\n", "the module's CPU time over 10 s, ms", "rotated", "unrotated");
    const auto ofTurned = [&](auto field) { return bench::Collect(turned.pairs, field); };
    PrintRow({"CPU while playing a rotated 1080p movie, ms", ofTurned([](const UsagePair& p) { return p.first.cpuMs; }),
              ofTurned([](const UsagePair& p) { return p.second.cpuMs; }), Goal::Ratio, TURNED_RATIO_GOAL,
              turnedFailure});
    const bool endedFailed = timed.minimalFailure.empty() && !endedDestroys;
    return !timed.moduleFailure.empty() || !used.firstFailure.empty() || !turnedFailure.empty() || endedFailed ? 1
                                                                                                             : 0;
}
