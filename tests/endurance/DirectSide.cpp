#include "DirectSide.h"

#include "EntryPoints.h"
#include "Parts.h"
#include "Report.h"

#include "bench/MinimalPlayer.h"
#include "host/support/MessagePump.h"

#include <mfapi.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <numeric>
#include <random>
#include <vector>

namespace {

constexpr char FIGURES[] = "direct figures";
constexpr char PLAY[] = "play";
// The side's process starts and measures within this; a session plays and closes within its
// events' time limits, or the side's own watchdog ends the process after the hang limit.
constexpr DWORD START_LIMIT_MS = 60000;
constexpr DWORD SESSION_LIMIT_MS = 2 * bench::MinimalPlayer::EVENT_TIMEOUT_MS;
constexpr DWORD HANG_LIMIT_MS = 70000;
constexpr std::uint32_t CLOSE_ORDER_SEED = 20260;

std::string FiguresLine(const Figures& f) {
    char line[160];
    std::snprintf(line, sizeof(line), "%s %ld %ld %ld %ld %lld %lld %d", FIGURES, f.handles, f.gdiObjects,
                  f.userObjects, f.windows, f.privateBytes, f.heapBytes, f.privateReported ? 1 : 0);
    return line;
}

std::optional<Figures> ParseFigures(const std::string& line) {
    if (line.rfind(FIGURES, 0) != 0) return std::nullopt;
    Figures f;
    int reported = 0;
    if (std::sscanf(line.c_str() + sizeof(FIGURES) - 1, "%ld %ld %ld %ld %lld %lld %d", &f.handles, &f.gdiObjects,
                    &f.userObjects, &f.windows, &f.privateBytes, &f.heapBytes, &reported) != 7) {
        return std::nullopt;
    }
    f.privateReported = reported != 0;
    return f;
}

// As many sessions as the host has panes, playing at once, closed in a shuffled order.
void PlayTogether(Host& host, DWORD playMs) {
    static std::mt19937 random(CLOSE_ORDER_SEED);
    std::vector<std::unique_ptr<bench::MinimalPlayer>> players;
    for (size_t i = 0; i < host.paneCount(); ++i) {
        players.push_back(std::make_unique<bench::MinimalPlayer>());
        HRESULT played = E_FAIL;
        Watched("direct play", [&] { played = players.back()->Play(samplePath.c_str(), host.pane(i).window); });
        Check(SUCCEEDED(played), "a direct session did not play");
    }
    PumpMessages(playMs);
    std::vector<size_t> order(players.size());
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    for (const size_t index : order) Watched("direct close", [&] { players[index].reset(); });
}

}  // namespace

DirectSide::DirectSide(const std::wstring& mediaDir, const char* part)
    : part_(part), child_(std::make_unique<ChildConversation>(L"\"" + mediaDir + L"\" --direct-sessions")) {
    if (!child_->StartFailure().empty()) EndWith("its process did not start: " + child_->StartFailure());
}

std::optional<Figures> DirectSide::Started() {
    if (!ended_.empty()) return std::nullopt;
    return ReadFigures(START_LIMIT_MS);
}

std::optional<Figures> DirectSide::Play(const DirectRound& round, int sessions) {
    if (!ended_.empty()) return std::nullopt;
    char command[96];
    std::snprintf(command, sizeof(command), "%s %d %d %d %d %d %lu %d", PLAY, sessions, round.columns, round.rows,
                  round.paneWidth, round.paneHeight, round.playMs, round.together ? 1 : 0);
    if (!child_->Send(command)) {
        EndWith("its process no longer reads");
        return std::nullopt;
    }
    const int count = round.together ? round.columns * round.rows : sessions;
    const std::optional<Figures> figures =
        ReadFigures(HANG_LIMIT_MS + static_cast<DWORD>(count) * (round.playMs + SESSION_LIMIT_MS));
    if (figures) played_ += count;
    return figures;
}

std::optional<Figures> DirectSide::ReadFigures(DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    std::string failure;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const std::optional<std::string> line =
            now < deadline ? child_->ReadLine(static_cast<DWORD>(deadline - now)) : std::nullopt;
        if (!line) {
            const std::optional<DWORD> exitCode = child_->ExitCode();
            if (!failure.empty()) {
                EndWith(failure);
            } else if (exitCode) {
                EndWith("its process ended with " + std::to_string(*exitCode));
            } else {
                EndWith("no answer within " + std::to_string(limitMs / 1000) + " s");
            }
            return std::nullopt;
        }
        if (const std::optional<Figures> figures = ParseFigures(*line)) {
            if (failure.empty()) return figures;
            EndWith(failure);
            return std::nullopt;
        }
        for (const char* told : {"FAIL", "LATE", "HANG"}) {
            if (line->rfind(told, 0) != 0) continue;
            Say("  %s, direct: %s", part_, line->c_str());
            if (std::string(told) != "LATE" && failure.empty()) failure = *line;
        }
    }
}

void DirectSide::EndWith(const std::string& why) {
    ended_ = why;
    Say("  %s: the direct sessions end after %d sessions (%s); the module's work goes on", part_, played_,
        why.c_str());
    child_->End();
}

int ServeDirectSessions() {
    // Started for the whole process, as the module keeps the platform started in its own: a
    // session's shutdown stops no more of it here than there.
    const bool started = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    Watchdog dog;
    std::printf("%s\n", FiguresLine(Measure()).c_str());
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
        DirectRound round;
        int sessions = 0;
        int together = 0;
        if (line.rfind(PLAY, 0) != 0 ||
            std::sscanf(line.c_str() + sizeof(PLAY) - 1, "%d %d %d %d %d %lu %d", &sessions, &round.columns,
                        &round.rows, &round.paneWidth, &round.paneHeight, &round.playMs, &together) != 7) {
            break;
        }
        {
            Host host(round.columns, round.rows, round.paneWidth, round.paneHeight);
            if (together) {
                PlayTogether(host, round.playMs);
            } else {
                PlayDirect(host.pane(0), sessions, round.playMs);
            }
        }
        std::printf("%s\n", FiguresLine(Measure()).c_str());
        std::fflush(stdout);
    }
    if (started) MFShutdown();
    return Failures() ? 1 : 0;
}
