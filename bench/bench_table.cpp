// bench_table MEDIA_DIR [--rounds N]
//
// The speed table: the module against a minimal Media Foundation program doing the same work on
// the same 720p movie, each figure the median of N rounds (default 5), both measured in one run.
// Opening, seeking and destroying interleave in this process, alternating which side goes
// first. CPU time and memory are measured in a child process per side and round (this program
// again, with --child), so that the two sides' figures never mix. Last, the module's CPU time
// with a 1080p movie that must be turned upright, against the same movie stored upright.

#include "bench/Harness.h"
#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "host/support/ChildProcess.h"
#include "host/support/LoadedModule.h"
#include "host/support/MessagePump.h"

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

// The child's side: play the movie once and print "CPU-ms thread-CPU-ms private-bytes".
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

// Runs this program as a child for one play and reads what it printed.
std::optional<Usage> MeasureInChild(const std::wstring& mediaDir, const Play& play) {
    std::wstring arguments = L"\"" + mediaDir + L"\" " + CHILD_FLAG + L" " + play.side;
    if (play.movie) arguments += std::wstring(L" ") + MOVIE_FLAG + L" " + play.movie;
    const ChildRun child = RunThisProgramAgain(arguments, CHILD_TIMEOUT_MS, false);
    if (!child.startFailure.empty()) return bench::Fail("cannot start the child process");
    if (child.timedOut) return bench::Fail("the child process did not finish in time");
    Usage usage;
    const int fields =
        std::sscanf(child.output.c_str(), "%lf %lf %lf", &usage.cpuMs, &usage.threadCpuMs, &usage.privateBytes);
    if (child.exitCode != 0 || fields != 3) {
        std::printf("the %ls child failed (exit code %lu): %s\n", play.side,
                    static_cast<unsigned long>(child.exitCode), child.output.c_str());
        return std::nullopt;
    }
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

// Each round plays both, alternating which goes first.
std::optional<std::vector<UsagePair>> MeasureUsage(const std::wstring& mediaDir, int rounds, const Play& first,
                                                   const Play& second) {
    std::vector<UsagePair> pairs;
    for (int round = 0; round < rounds; ++round) {
        std::optional<Usage> ofFirst;
        std::optional<Usage> ofSecond;
        if (round % 2 == 0) {
            ofFirst = MeasureInChild(mediaDir, first);
            if (ofFirst) ofSecond = MeasureInChild(mediaDir, second);
        } else {
            ofSecond = MeasureInChild(mediaDir, second);
            if (ofSecond) ofFirst = MeasureInChild(mediaDir, first);
        }
        if (!ofFirst || !ofSecond) return std::nullopt;
        pairs.push_back(UsagePair{*ofFirst, *ofSecond});
    }
    return pairs;
}

// One line of the table: the two medians, their ratio, the goal and whether it was met.
struct Row {
    const char* label;
    double module;
    double minimal;
    const char* goal;
    std::optional<bool> met;
};

void PrintRow(const Row& row) {
    std::printf("%-46s %9.1f %9.1f %7.3f   %-16s %s\n", row.label, row.module, row.minimal, row.module / row.minimal,
                row.goal, row.met ? (*row.met ? "met" : "MISSED") : "-");
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

    const int rounds = arguments->rounds;
    std::vector<RoundPair> timed;
    if (const int failed = bench::RunTimedRounds(L"bench_table", *path, rounds, true, timed)) return failed;
    const std::wstring mediaDir = FullPath(arguments->mediaDir);
    const std::optional<std::vector<UsagePair>> used =
        MeasureUsage(mediaDir, rounds, {MODULE_SIDE, nullptr}, {MINIMAL_SIDE, nullptr});
    if (!used) return 1;
    const std::optional<std::vector<UsagePair>> turned =
        MeasureUsage(mediaDir, rounds, {MODULE_SIDE, TURNED_MOVIE}, {MODULE_SIDE, UPRIGHT_MOVIE});
    if (!turned) return 1;
    const std::optional<std::vector<double>> endedDestroys = MeasureDestroyAfterEnd(mediaDir, rounds);
    if (!endedDestroys) return 1;

    std::printf("each round, module/minimal:\n%5s %15s %15s %15s %15s %17s %15s %17s\n", "round", "open ms", "seek ms",
                "drag ms", "destroy ms", "CPU ms", "thread CPU ms", "private KiB");
    for (int i = 0; i < rounds; ++i) {
        const RoundPair& t = timed[i];
        const UsagePair& u = (*used)[i];
        std::printf("%5d %7.1f/%-7.1f %7.1f/%-7.1f %7.1f/%-7.1f %7.1f/%-7.1f %8.1f/%-8.1f %7.1f/%-7.1f %8.0f/%-8.0f\n",
                    i + 1, t.module.openMs, t.minimal.openMs, t.module.seekMs, t.minimal.seekMs, t.module.dragMs,
                    t.minimal.dragMs, t.module.closeMs, t.minimal.closeMs, u.first.cpuMs, u.second.cpuMs,
                    u.first.threadCpuMs, u.second.threadCpuMs, u.first.privateBytes / 1024,
                    u.second.privateBytes / 1024);
    }
    std::printf("each round, CPU ms of the 1080p movie turned/upright:");
    for (const UsagePair& u : *turned) std::printf(" %.1f/%.1f", u.first.cpuMs, u.second.cpuMs);
    std::printf("\n");

    const auto timedMedian = [&](auto field) { return bench::Median(bench::Collect(timed, field)); };
    const auto usedMedian = [&](auto field) { return bench::Median(bench::Collect(*used, field)); };
    const double openModule = timedMedian([](const RoundPair& p) { return p.module.openMs; });
    const double openMinimal = timedMedian([](const RoundPair& p) { return p.minimal.openMs; });
    const double seekModule = timedMedian([](const RoundPair& p) { return p.module.seekMs; });
    const double seekMinimal = timedMedian([](const RoundPair& p) { return p.minimal.seekMs; });
    const double dragModule = timedMedian([](const RoundPair& p) { return p.module.dragMs; });
    const double dragMinimal = timedMedian([](const RoundPair& p) { return p.minimal.dragMs; });
    const double destroyModule = timedMedian([](const RoundPair& p) { return p.module.closeMs; });
    const double closeMinimal = timedMedian([](const RoundPair& p) { return p.minimal.closeMs; });
    const double cpuModule = usedMedian([](const UsagePair& p) { return p.first.cpuMs; });
    const double cpuMinimal = usedMedian([](const UsagePair& p) { return p.second.cpuMs; });
    const double threadCpuModule = usedMedian([](const UsagePair& p) { return p.first.threadCpuMs; });
    const double threadCpuMinimal = usedMedian([](const UsagePair& p) { return p.second.threadCpuMs; });
    const double bytesModule = usedMedian([](const UsagePair& p) { return p.first.privateBytes; });
    const double bytesMinimal = usedMedian([](const UsagePair& p) { return p.second.privateBytes; });
    const double cpuTurned = bench::Median(bench::Collect(*turned, [](const UsagePair& p) { return p.first.cpuMs; }));
    const double cpuUpright = bench::Median(bench::Collect(*turned, [](const UsagePair& p) { return p.second.cpuMs; }));

    std::printf("\nhd720.mp4 (1280x720, 30 fps, 12 s), %s, median of %d rounds; minimal = the least a Media "
                "Foundation program does for the same\n\n",
                sizeof(void*) == 8 ? "x64" : "x86", rounds);
    std::printf("%-46s %9s %9s %7s   %-16s %s\n", "", "module", "minimal", "ratio", "goal", "");
    const Row rows[] = {
        {"open+attach until playing, ms", openModule, openMinimal, "ratio <= 1.05",
         openModule / openMinimal <= RATIO_GOAL},
        {"seek until playing at 8 s (bar position), ms", seekModule, seekMinimal, "ratio <= 1.05",
         seekModule / seekMinimal <= RATIO_GOAL},
        {"seek to 3 s by a drag (minimal: a start), ms", dragModule, dragMinimal, "none (pauses)", std::nullopt},
        {"destroy while playing / close+shutdown, ms", destroyModule, closeMinimal, "< 50 ms",
         destroyModule < DESTROY_GOAL_MS},
        {"CPU time while playing 10 s, ms", cpuModule, cpuMinimal, "ratio <= 1.05",
         cpuModule / cpuMinimal <= RATIO_GOAL},
        {"  of which the window's thread, ms", threadCpuModule, threadCpuMinimal, "none", std::nullopt},
        {"private bytes of one playing viewer, KiB", bytesModule / 1024, bytesMinimal / 1024, "none", std::nullopt},
    };
    for (const Row& row : rows) PrintRow(row);
    std::printf("\n%-46s %9s %9s\n", "the module's CPU time over 10 s, ms", "rotated", "unrotated");
    PrintRow({"CPU while playing a rotated 1080p movie, against the same movie unrotated", cpuTurned, cpuUpright,
              "ratio <= 1.15", cpuTurned / cpuUpright <= TURNED_RATIO_GOAL});
    const double endedDestroy = bench::Median(*endedDestroys);
    const double endedLongest = *std::max_element(endedDestroys->begin(), endedDestroys->end());
    std::printf("%-46s %9.1f %9s %7s   %-16s %s\n", "destroy after the end of a 1 s movie, ms", endedDestroy, "-", "-",
                "< 100 ms", endedLongest < ENDED_DESTROY_GOAL_MS ? "met" : "MISSED");
    std::printf("%-46s %9.1f\n", "  longest of the rounds, ms", endedLongest);
    return 0;
}
