// endurance: drives moviepane.dll as a host does, for a long run and with many viewers at
// once, tears viewers down (and re-opens them) in every state in which they wait on the
// session or on the user, and checks that the process gives back what it took.
//
//   endurance.exe MEDIA_DIR [--cycles N] [--part cycles|silent|many|pending|footprint]
//
// The footprint part runs only when named; its files are N, 100 unless given. The sessions
// played directly, which the parts hold the module to, run in a process of their own
// (endurance.exe MEDIA_DIR --direct-sessions, which takes its orders on standard input).
//
// Exit codes: 0 every check held, 1 a check failed, 2 bad command line or no usable module,
// 3 an entry point hung: still away after a minute, the process is ended where it hangs.

#include "EntryPoints.h"
#include "Parts.h"
#include "ProcessFigures.h"
#include "DirectSide.h"
#include "Report.h"

#include "common/ComApartment.h"
#include "host/support/BoxWatcher.h"
#include "host/support/LoadedModule.h"
#include "host/support/Summary.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int EXIT_CHECK_FAILED = 1;
constexpr int EXIT_SETUP_FAILED = 2;

struct Options {
    std::wstring mediaDir;
    int cycles = 0;
    std::wstring part;
    // Which side of the footprint part this process plays.
    std::wstring side;
    bool directSessions = false;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--cycles" && i + 1 < argc) {
            options.cycles = _wtoi(argv[++i]);
            if (options.cycles < 1) return false;
        } else if (arg == L"--part" && i + 1 < argc) {
            options.part = argv[++i];
            if (options.part != L"cycles" && options.part != L"silent" && options.part != L"many" &&
                options.part != L"pending" && options.part != L"footprint")
                return false;
        } else if (arg == L"--side" && i + 1 < argc) {
            options.side = argv[++i];
        } else if (arg == L"--direct-sessions") {
            options.directSessions = true;
        } else if (arg.rfind(L"--", 0) != 0 && options.mediaDir.empty()) {
            options.mediaDir = arg;
        } else {
            return false;
        }
    }
    if (!options.cycles) options.cycles = options.part == L"footprint" ? 100 : 500;
    return !options.mediaDir.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Say("usage: endurance.exe MEDIA_DIR [--cycles N] [--part cycles|silent|many|pending|footprint]");
        return EXIT_SETUP_FAILED;
    }
    mediaFolder = options.mediaDir;
    samplePath = options.mediaDir + L"\\sample.mp4";
    silentPath = options.mediaDir + L"\\video-only.mp4";
    if (GetFileAttributesW(samplePath.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW(silentPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Say("no sample.mp4 or video-only.mp4 in the media folder");
        return EXIT_SETUP_FAILED;
    }

    const ComApartment com;
    if (options.directSessions) return ServeDirectSessions();
    const LoadedModule module;
    if (!module.info()) {
        Say("moviepane.dll is missing beside this program or is not a viewer module");
        return EXIT_SETUP_FAILED;
    }
    UseModule(*module.info());
    Watchdog dog;
    // Open reports a failure in a box and waits for the user: the host's user reads and closes
    // it, and the failure is counted.
    const BoxWatcher errorBoxes(L"ExtViewMF", [](const SeenBox& box) {
        std::wstring text = box.text;
        std::replace_if(text.begin(), text.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');
        std::printf("FAIL: error box: %ls\n", text.c_str());
        std::fflush(stdout);
    });

    const ULONGLONG start = GetTickCount64();
    PrintFigures("at start", Measure());
    const bool all = options.part.empty();
    if (all || options.part == L"cycles") RunCycles(options.cycles);
    if (all || options.part == L"silent") RunSilent(options.cycles);
    if (all || options.part == L"many") RunMany();
    if (all || options.part == L"pending") RunPending();
    if (options.part == L"footprint") RunFootprint(options.mediaDir, options.cycles, options.side);

    Say("entry points:");
    dog.Report();
    AddFailures(static_cast<int>(errorBoxes.Seen().size()));
    Say("endurance: %.1f s, %d failed checks", static_cast<double>(GetTickCount64() - start) / 1000.0, Failures());
    dog.Summarize();
    PrintSummary({"endurance: failed checks", static_cast<double>(Failures()), std::nullopt, "0",
                  Failures() ? "FAILED" : "met"});
    return Failures() ? EXIT_CHECK_FAILED : 0;
}
