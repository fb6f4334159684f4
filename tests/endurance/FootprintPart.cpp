#include "Parts.h"

#include "ProcessFigures.h"
#include "Report.h"

#include "host/support/ChildProcess.h"
#include "host/support/MessagePump.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
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
constexpr wchar_t DIRECT[] = L"direct";
constexpr wchar_t MODULE[] = L"module";

struct Row {
    SystemFigures settled;
    long playingThreads = -1;
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
        if (std::find(checkpoints.begin(), checkpoints.end(), file) == checkpoints.end()) continue;
        PumpMessages(SETTLE_MS);
        const SystemFigures settled = MeasureSystem(side);
        std::printf("%s %d %.1f %.1f %ld %ld\n", ROW, file, settled.residentMiB, settled.anonymousMiB, settled.threads,
                    playingThreads);
        std::fflush(stdout);
    }
}

// Runs one side in a process of its own; its rows by files done. Its failures are told here.
std::map<int, Row> RunSideProcess(const std::wstring& mediaDir, int files, const wchar_t* name) {
    const std::wstring side = std::wstring(name) + L"-" + UniqueWord();
    const ChildRun run = RunThisProgramAgain(L"\"" + mediaDir + L"\" --part footprint --cycles " +
                                                 std::to_wstring(files) + L" --side " + side,
                                             CHILD_START_MS + static_cast<DWORD>(files) * CHILD_MS_PER_FILE, true);
    Check(run.startFailure.empty(), "footprint: the %ls side did not start: %s", name, run.startFailure.c_str());
    Check(!run.timedOut, "footprint: the %ls side was still running after its time", name);
    Check(run.timedOut || run.exitCode == 0, "footprint: the %ls side ended with %lu", name, run.exitCode);
    std::map<int, Row> rows;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        for (const char* told : {"FAIL", "LATE", "HANG"}) {
            if (line.rfind(told, 0) == 0) Say("  %ls: %s", name, line.c_str());
        }
        if (line.rfind(ROW, 0) != 0) continue;
        int done = 0;
        Row row;
        if (std::sscanf(line.c_str() + std::strlen(ROW), "%d %lf %lf %ld %ld", &done, &row.settled.residentMiB,
                        &row.settled.anonymousMiB, &row.settled.threads, &row.playingThreads) == 5) {
            rows[done] = row;
        }
    }
    return rows;
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
    const std::map<int, Row> module = RunSideProcess(mediaDir, files, MODULE);
    const std::map<int, Row> direct = RunSideProcess(mediaDir, files, DIRECT);
    Say("  %6s | %-28s | %-28s | %s", "files", "module resident anon threads", "direct resident anon threads",
        "ratio resident anon");
    for (const int at : Checkpoints(files)) {
        const auto m = module.find(at);
        const auto d = direct.find(at);
        Check(m != module.end() && d != direct.end(), "footprint: no figures after %d files", at);
        if (m == module.end() || d == direct.end()) continue;
        const SystemFigures& a = m->second.settled;
        const SystemFigures& b = d->second.settled;
        Say("  %6d | %8.1f %6.1f %5ld (%3ld) | %8.1f %6.1f %5ld (%3ld) | %8.2f %5.2f", at, a.residentMiB,
            a.anonymousMiB, a.threads, m->second.playingThreads, b.residentMiB, b.anonymousMiB, b.threads,
            d->second.playingThreads, Ratio(a.residentMiB, b.residentMiB), Ratio(a.anonymousMiB, b.anonymousMiB));
    }
}
