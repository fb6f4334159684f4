// open_latency MEDIA_DIR [ROUNDS] [--steps]
//
// How long the module takes from nothing to a playing 720p movie, against a minimal Media
// Foundation program doing only what playback needs, and how long destroying a playing viewer
// takes, and how long until the first picture is on the screen; each round on its own line.
// bench_table measures the same and more in one table. With --steps, where the time of open and
// attach goes, step by step, instead.

#include "bench/Harness.h"
#include "bench/OpenSteps.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int DEFAULT_ROUNDS = 7;
constexpr int MAX_ROUNDS = 1000;
constexpr double OPEN_RATIO_GOAL = 1.05;
constexpr double DESTROY_GOAL_MS = 50.0;

}  // namespace

int main() {
    int count = 0;
    const bench::ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    const bool steps = count > 2 && std::wcscmp(args.get()[count - 1], L"--steps") == 0;
    const int given = steps ? count - 1 : count;
    const int rounds = given > 2 ? _wtoi(args.get()[2]) : DEFAULT_ROUNDS;
    if (!args || given < 2 || given > 3 || rounds < 1 || rounds > MAX_ROUNDS) {
        std::printf("usage: open_latency MEDIA_DIR [ROUNDS] [--steps]\n");
        return 2;
    }
    const std::optional<std::wstring> path = bench::BenchMovie(args.get()[1]);
    if (!path) {
        std::printf("hd720.mp4 not found in the media folder\n");
        return 2;
    }
    if (steps) return bench::MeasureOpenSteps(*path, rounds);
    bench::TimedRounds timed;
    if (const int failed = bench::RunTimedRounds(L"open_latency", *path, rounds, false, timed)) return failed;
    const std::vector<bench::RoundPair>& pairs = timed.pairs;
    if (pairs.empty()) {
        std::printf("no round was done\n");
        return timed.moduleFailure.empty() ? 0 : 1;
    }
    const auto median = [&](auto field) { return bench::Median(bench::Collect(pairs, field)); };
    const double moduleOpen = median([](const auto& p) { return p.module.openMs; });
    const double minimalOpen = median([](const auto& p) { return p.minimal.openMs; });
    const double modulePicture = median([](const auto& p) { return p.module.pictureMs; });
    const double minimalPicture = median([](const auto& p) { return p.minimal.pictureMs; });
    const double destroyMs = median([](const auto& p) { return p.module.closeMs; });
    const double closeMs = median([](const auto& p) { return p.minimal.closeMs; });
    const double ratio = moduleOpen / minimalOpen;
    const double pictureRatio = modulePicture / minimalPicture;
    std::printf("\nhd720.mp4, median of %zu rounds   module   minimal   ratio\n", pairs.size());
    std::printf("open to playing, ms            %7.1f   %7.1f   %5.3f  (goal <= %.2f: %s)\n", moduleOpen, minimalOpen,
                ratio, OPEN_RATIO_GOAL, ratio <= OPEN_RATIO_GOAL ? "met" : "missed");
    std::printf("open to the first picture, ms  %7.1f   %7.1f   %5.3f  (goal <= %.2f: %s)\n", modulePicture,
                minimalPicture, pictureRatio, OPEN_RATIO_GOAL, pictureRatio <= OPEN_RATIO_GOAL ? "met" : "missed");
    std::printf("destroy while playing, ms      %7.1f   %7.1f           (goal < %.0f: %s)\n", destroyMs, closeMs,
                DESTROY_GOAL_MS, destroyMs < DESTROY_GOAL_MS ? "met" : "missed");
    return timed.moduleFailure.empty() ? 0 : 1;
}
