#include "Parts.h"

#include "EntryPoints.h"
#include "ProcessFigures.h"
#include "Report.h"

#include "host/support/ChildProcess.h"
#include "host/support/MessagePump.h"
#include "host/support/Summary.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD PLAY_MS = 300;
// Threads and memory of a closed session go a little after destroy returns.
constexpr DWORD SETTLE_MS = 1000;
// A file takes about a second; a side still running after ten a file has hung.
constexpr DWORD CHILD_MS_PER_FILE = 10000;
constexpr DWORD CHILD_START_MS = 60000;
constexpr char ROW[] = "footprint row";
constexpr char DONE[] = "footprint done";
// The module within a tenth more than the direct sessions, resident and anonymous alike.
constexpr double RATIO_GOAL = 1.1;
constexpr wchar_t DIRECT[] = L"direct";
constexpr wchar_t MODULE[] = L"module";

struct Row {
    SystemFigures settled;
    long playingThreads = -1;
};

// What one side's process gave: its rows by files done, how far it came, and what ended it
// early (a hang, a failed check, an exit code), if anything.
struct Side {
    std::map<int, Row> rows;
    int filesDone = 0;
    std::string ended;
};

std::vector<int> Checkpoints(int files) {
    std::vector<int> checkpoints;
    for (const int at : {10, 50, 100}) {
        if (at < files) checkpoints.push_back(at);
    }
    checkpoints.push_back(files);
    return checkpoints;
}

std::wstring UniqueWord() {
    GUID guid{};
    wchar_t text[40] = L"";
    if (SUCCEEDED(CoCreateGuid(&guid))) StringFromGUID2(guid, text, 40);
    return std::wstring(text) + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64());
}

// One side's process: plays the files and prints a row at each checkpoint.
void RunSide(int files, const std::wstring& side) {
    Host host(1, 1, 640, 480);
    const std::vector<int> checkpoints = Checkpoints(files);
    long playingThreads = -1;
    const auto whilePlaying = [&] { playingThreads = std::max(playingThreads, MeasureSystem(side).threads); };
    for (int file = 1; file <= files; ++file) {
        if (side.rfind(DIRECT, 0) == 0) {
            PlayDirect(host.pane(0), 1, PLAY_MS, whilePlaying);
        } else {
            Viewer viewer(host.pane(0));
            Check(viewer.Open(samplePath) && viewer.Attach(), "footprint: file %d could not open or attach", file);
            PumpMessages(PLAY_MS);
            whilePlaying();
        }
        std::printf("%s %d\n", DONE, file);
        std::fflush(stdout);
        if (std::find(checkpoints.begin(), checkpoints.end(), file) == checkpoints.end()) continue;
        PumpMessages(SETTLE_MS);
        const SystemFigures settled = MeasureSystem(side);
        std::printf("%s %d %.1f %.1f %ld %ld\n", ROW, file, settled.residentMiB, settled.anonymousMiB, settled.threads,
                    playingThreads);
        std::fflush(stdout);
    }
}

// Runs one side in a process of its own, and tells what went wrong in it.
Side RunSideProcess(const std::wstring& mediaDir, int files, const wchar_t* name) {
    const std::wstring side = std::wstring(name) + L"-" + UniqueWord();
    const ChildRun run = RunThisProgramAgain(L"\"" + mediaDir + L"\" --part footprint --cycles " +
                                                 std::to_wstring(files) + L" --side " + side,
                                             CHILD_START_MS + static_cast<DWORD>(files) * CHILD_MS_PER_FILE, true);
    Side result;
    std::string told;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const char* kind : {"FAIL", "LATE", "HANG"}) {
            if (line.rfind(kind, 0) != 0) continue;
            Say("  %ls: %s", name, line.c_str());
            if (told.empty() && std::strcmp(kind, "LATE") != 0) told = line;
        }
        if (line.rfind(DONE, 0) == 0) result.filesDone = std::atoi(line.c_str() + std::strlen(DONE));
        if (line.rfind(ROW, 0) != 0) continue;
        int done = 0;
        Row row;
        if (std::sscanf(line.c_str() + std::strlen(ROW), "%d %lf %lf %ld %ld", &done, &row.settled.residentMiB,
                        &row.settled.anonymousMiB, &row.settled.threads, &row.playingThreads) == 5) {
            result.rows[done] = row;
        }
    }
    if (!run.startFailure.empty()) {
        result.ended = "did not start: " + run.startFailure;
    } else if (run.timedOut) {
        result.ended = "hung: still running after its time";
    } else if (run.exitCode == static_cast<DWORD>(EXIT_HANG)) {
        result.ended = "hung: " + told;
    } else if (run.exitCode != 0) {
        result.ended = "ended with " + std::to_string(run.exitCode) + (told.empty() ? "" : ": " + told);
    } else if (!told.empty()) {
        result.ended = "failed: " + told;
    }
    if (!result.ended.empty()) Say("  %ls side %s, after %d files", name, result.ended.c_str(), result.filesDone);
    return result;
}

double Ratio(double module, double direct) { return module > 0 && direct > 0 ? module / direct : 0; }

}  // namespace

void RunFootprint(const std::wstring& mediaDir, int files, const std::wstring& side) {
    if (!side.empty()) {
        RunSide(files, side);
        return;
    }
    Say("footprint: %d files opened, attached, played %lu ms and destroyed in one process; the same played "
        "directly in another (MiB; threads settled, most while playing)",
        files, PLAY_MS);
    // A side that ends early is told with the files it reached, and the other side still runs:
    // only the module's side can fail the run; the direct one hangs now and then in the
    // platform's own renderer deadlock (see RendererDeadlockGuard).
    const Side module = RunSideProcess(mediaDir, files, MODULE);
    const Side direct = RunSideProcess(mediaDir, files, DIRECT);
    Check(module.ended.empty(), "footprint: the module side %s, after %d files", module.ended.c_str(),
          module.filesDone);
    Say("  %6s | %-28s | %-28s | %s", "files", "module resident anon threads", "direct resident anon threads",
        "ratio resident anon");
    const auto cell = [](const Side& side, int at) {
        const auto row = side.rows.find(at);
        char text[64];
        if (row != side.rows.end()) {
            const SystemFigures& f = row->second.settled;
            std::snprintf(text, sizeof(text), "%8.1f %6.1f %5ld (%3ld)", f.residentMiB, f.anonymousMiB, f.threads,
                          row->second.playingThreads);
        } else {
            std::snprintf(text, sizeof(text), "ended after %d files", side.filesDone);
        }
        return std::string(text);
    };
    for (const int at : Checkpoints(files)) {
        const auto m = module.rows.find(at);
        const auto d = direct.rows.find(at);
        if (m == module.rows.end() && d == direct.rows.end()) continue;
        std::string ratios;
        if (m != module.rows.end() && d != direct.rows.end()) {
            char text[32];
            std::snprintf(text, sizeof(text), "%8.2f %5.2f",
                          Ratio(m->second.settled.residentMiB, d->second.settled.residentMiB),
                          Ratio(m->second.settled.anonymousMiB, d->second.settled.anonymousMiB));
            ratios = text;
        }
        Say("  %6d | %-28s | %-28s | %s", at, cell(module, at).c_str(), cell(direct, at).c_str(), ratios.c_str());
    }
    const auto m = module.rows.find(files);
    const auto d = direct.rows.find(files);
    const bool both = m != module.rows.end() && d != direct.rows.end();
    const std::string unjudged = !module.ended.empty() ? "FAILED"
                                 : direct.ended.empty()
                                     ? "-"
                                     : "not judged: direct " + direct.ended.substr(0, direct.ended.find(':')) +
                                           " after " + std::to_string(direct.filesDone) + " files";
    for (const bool anonymous : {false, true}) {
        const auto figure = [&](const auto& row, const std::map<int, Row>& rows) -> std::optional<double> {
            if (row == rows.end()) return std::nullopt;
            return anonymous ? row->second.settled.anonymousMiB : row->second.settled.residentMiB;
        };
        const std::optional<double> ofModule = figure(m, module.rows);
        const std::optional<double> ofDirect = figure(d, direct.rows);
        char goal[16];
        std::snprintf(goal, sizeof(goal), "ratio <= %.2f", RATIO_GOAL);
        PrintSummary({"footprint after " + std::to_string(files) + " files, " +
                          (anonymous ? "anonymous" : "resident") + " MiB, module / direct",
                      ofModule, ofDirect, goal,
                      both ? Verdict(*ofModule <= RATIO_GOAL * *ofDirect) : unjudged});
    }
}
