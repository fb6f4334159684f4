#include "Parts.h"

#include "EntryPoints.h"
#include "Ledger.h"
#include "Report.h"

#include "bench/MinimalPlayer.h"
#include "host/support/MessagePump.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int CYCLE_BLOCK = 10;
constexpr std::pair<DWORD, DWORD> SILENT_PLAY_MS{30, 300};
constexpr int MANY_COLUMNS = 4;
constexpr int MANY_ROWS = 2;
constexpr int MANY_PANE_WIDTH = 300;
constexpr int MANY_PANE_HEIGHT = 240;
constexpr int MANY_ROUNDS = 3;
constexpr DWORD MANY_EXTRA_PLAY_MS = 3000;
constexpr std::uint32_t SHUFFLE_SEED = 20260;
// The module waits at most 5 s for a session to close; a destroy that takes that long met a
// session that never confirmed its close, which is a fault even though destroy came back.
constexpr ULONGLONG PROMPT_DESTROY_MS = 5000;

}  // namespace

std::wstring mediaFolder;
std::wstring samplePath;
std::wstring silentPath;

bool StartPlaying(Viewer& viewer) {
    const bool opened = viewer.Open(samplePath);
    Check(opened, "open of the sample failed");
    const bool attached = opened && viewer.Attach();
    Check(!opened || attached, "attach of the sample failed");
    const bool playing = attached && PumpUntil([&] { return viewer.ReportsPosition(); }, PLAYING_WAIT_MS);
    Check(!attached || playing, "the sample did not start playing within %lu ms", PLAYING_WAIT_MS);
    return playing;
}

// Watched like the entry points but not held to their limit: a hang here is the platform's own.
void PlayDirect(Pane& pane, int sessions, DWORD playMs, const std::function<void()>& whilePlaying) {
    for (int i = 0; i < sessions; ++i) {
        bench::MinimalPlayer player;
        HRESULT played = E_FAIL;
        Watched("direct play", [&] { played = player.Play(samplePath.c_str(), pane.window); });
        Check(SUCCEEDED(played), "a direct session did not play");
        PumpMessages(playMs);
        if (whilePlaying) whilePlaying();
        Watched("direct close", [&] { player.Close(); });
    }
}

void RunCycles(int cycles) {
    Say("cycles: %d x (create, open, attach, pump 200 ms, destroy), every %d followed by as many direct sessions",
        cycles, CYCLE_BLOCK);
    Host host(1, 1, 640, 480);
    Ledger ledger("cycles", mediaFolder);
    const ULONGLONG start = GetTickCount64();
    const int printEvery = std::max(CYCLE_BLOCK, cycles / 5 / CYCLE_BLOCK * CYCLE_BLOCK);
    int failedCycles = 0;
    int playingAtDestroy = 0;
    for (int done = 0; done < cycles;) {
        const int block = std::min(CYCLE_BLOCK, cycles - done);
        const Figures figures = ledger.Round(
            [&] {
                for (int i = 0; i < block; ++i) {
                    Viewer viewer(host.pane(0));
                    if (!viewer.Open(samplePath) || !viewer.Attach()) ++failedCycles;
                    PumpMessages(200);
                    if (viewer.ReportsPosition()) ++playingAtDestroy;
                }
            },
            DirectRound{});
        done += block;
        if (done == block || done % printEvery == 0 || done == cycles)
            PrintFigures(("after cycle " + std::to_string(done)).c_str(), figures);
    }
    const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    Say("  %d cycles in %.1f s, direct sessions and measuring included; %d playing at destroy", cycles, seconds,
        playingAtDestroy);
    Check(failedCycles == 0, "cycles: %d cycles could not open or attach", failedCycles);
    ledger.Check();
}

void RunMany() {
    Say("many: %d viewers playing at once in a %dx%d grid, destroyed in a shuffled order (seed %u)",
        MANY_COLUMNS * MANY_ROWS, MANY_COLUMNS, MANY_ROWS, SHUFFLE_SEED);
    Host host(MANY_COLUMNS, MANY_ROWS, MANY_PANE_WIDTH, MANY_PANE_HEIGHT);
    Ledger ledger("many", mediaFolder);
    std::mt19937 random(SHUFFLE_SEED);
    const auto shuffled = [&](size_t count) {
        std::vector<size_t> order(count);
        for (size_t i = 0; i < count; ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), random);
        return order;
    };
    for (int round = 1; round <= MANY_ROUNDS; ++round) {
        const auto moduleWork = [&] {
            std::vector<std::unique_ptr<Viewer>> viewers;
            for (size_t i = 0; i < host.paneCount(); ++i) {
                viewers.push_back(std::make_unique<Viewer>(host.pane(i)));
                const bool attached = viewers.back()->Open(samplePath) && viewers.back()->Attach();
                Check(attached, "many: viewer %zu could not open or attach", i + 1);
            }
            const ULONGLONG attachedAt = GetTickCount64();
            const bool allPlaying = PumpUntil(
                [&] {
                    return std::all_of(viewers.begin(), viewers.end(), [](auto& v) { return v->ReportsPosition(); });
                },
                PLAYING_WAIT_MS);
            Check(allPlaying, "many: not every viewer reported a position within %lu ms", PLAYING_WAIT_MS);
            const ULONGLONG allPlayingMs = GetTickCount64() - attachedAt;
            PumpMessages(MANY_EXTRA_PLAY_MS);

            std::string times;
            ULONGLONG longest = 0;
            for (size_t index : shuffled(viewers.size())) {
                const ULONGLONG elapsed = viewers[index]->Destroy();
                longest = std::max(longest, elapsed);
                Check(elapsed < PROMPT_DESTROY_MS, "many: destroy of viewer %zu took %llu ms", index + 1, elapsed);
                times += " " + std::to_string(index + 1) + ":" + std::to_string(elapsed);
            }
            Say("  round %d: all playing %llu ms after the last attach; destroyed (viewer:ms)%s, longest %llu ms",
                round, allPlayingMs, times.c_str(), longest);
        };
        const DirectRound direct{MANY_COLUMNS, MANY_ROWS, MANY_PANE_WIDTH, MANY_PANE_HEIGHT, MANY_EXTRA_PLAY_MS, true};
        PrintFigures(("after round " + std::to_string(round)).c_str(), ledger.Round(moduleWork, direct));
    }
    ledger.Check();
}

// A movie without sound is torn down before the video renderer has given back its frames,
// which crashed the process about once in a hundred destroys while the session's reports of
// those frames outlived it.
void RunSilent(int cycles) {
    Say("silent: %d x (open the video-only movie, attach, play %lu to %lu ms, destroy)", cycles, SILENT_PLAY_MS.first,
        SILENT_PLAY_MS.second);
    Host host(1, 1, 640, 480);
    std::mt19937 random(SHUFFLE_SEED);
    std::uniform_int_distribution<DWORD> playMs(SILENT_PLAY_MS.first, SILENT_PLAY_MS.second);
    const ULONGLONG start = GetTickCount64();
    int failedCycles = 0;
    for (int i = 0; i < cycles; ++i) {
        Viewer viewer(host.pane(0));
        if (!viewer.Open(silentPath) || !viewer.Attach()) ++failedCycles;
        PumpMessages(playMs(random));
    }
    Say("  %d cycles in %.1f s", cycles, static_cast<double>(GetTickCount64() - start) / 1000.0);
    Check(failedCycles == 0, "silent: %d cycles could not open or attach", failedCycles);
}
