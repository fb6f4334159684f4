// stress_corpus: hands every file of the bad-input corpus to moviepane.dll, each in a host
// process of its own, and tells how each one ended. A bad file may be refused (with the error
// box), shown as an icon or played; it must never crash or hang the host, leave anything of
// the module behind in the host window, or spoil the next file.
//
//   stress_corpus.exe CORPUS_DIR [--sample N] [--seed S] [--failures DIR]
//   stress_corpus.exe --widths MEDIA_DIR [--plays N]
//   stress_corpus.exe --one PATH [--special deleted|brief]
//
// The first form reads CORPUS_DIR/corpus.tsv and starts the last form for each file, waits
// for it and reads its report. --sample N takes N files spread evenly over the damaged ones
// (--seed S shifts the spread), plus every one-off case and the files that once found a fault.
// --failures DIR copies every file that failed into DIR, for replay; it is meant for corpora of
// chance damage (mutate_corpus.py), which need not hold the built corpus's kept files.
// The second plays the good movies of common widths that are no multiple of 16 (the media
// folder's wide-*), N plays (200 unless given) taken in turn, each opened, attached, played for
// a second and destroyed in a host process of its own.
// Exit code 0: nothing hurt the host; 1: a hang, a crash, a refusal without a box, harm left
// behind or a failed canary; 2: bad command line or missing files.

#include "HostProcess.h"
#include "Runs.h"
#include "Tables.h"
#include "Text.h"

#include "common/Owned.h"
#include "host/support/LoadedModule.h"
#include "host/support/Summary.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int EXIT_HURT = 1;
constexpr size_t DEFAULT_WIDTH_PLAYS = 200;

using Handle = Owned<HANDLE, CloseHandle>;
using ArgumentList = Owned<LPWSTR*, LocalFree>;

// Keeps a failing file under its own name, which for mutated files tells its seed and index.
void KeepFailure(const std::wstring& folder, const Run& run) {
    const std::wstring name = run.path.substr(run.path.find_last_of(L'\\') + 1);
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!CopyFileW(run.path.c_str(), (folder + L"\\" + name).c_str(), FALSE))
        Print("stress_corpus: cannot keep " + Utf8(run.path) + " in " + Utf8(folder) + "\n");
}

void PrintRun(size_t index, size_t count, const Run& run, const Result& result) {
    std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + Padded(run.kind, 12) +
                       " " + run.label + "\n      " + result.outcome;
    if (!result.detail.empty()) line += " (" + result.detail + ")";
    line += ", " + Seconds(result.milliseconds);
    for (const std::string& harm : result.harm) line += "\n      harm: " + harm;
    for (const std::string& note : result.notes) line += "\n      note: " + note;
    if (result.failed) line += "\n      FAILED";
    Print(line + "\n");
}

// The tables, the failed runs and the summary line for what was played; the exit code.
int Summarize(const std::string& what, const std::vector<Run>& runs, const std::vector<Result>& results,
              ULONGLONG took) {
    PrintTables(what, runs, results);
    std::vector<std::string> failures;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (results[i].failed) failures.push_back(runs[i].kind + " " + runs[i].label + ": " + results[i].outcome);
    }
    Print("\n" + std::to_string(runs.size()) + " runs in " + Seconds(took) + "; " + std::to_string(failures.size()) +
          " failed\n");
    for (const std::string& failure : failures) Print("  " + failure + "\n");
    PrintSummary({what + ": runs of " + std::to_string(runs.size()) + " that hurt the host",
                  static_cast<double>(failures.size()), std::nullopt, "0", failures.empty() ? "met" : "FAILED"});
    return failures.empty() ? 0 : EXIT_HURT;
}

int RunCorpus(const std::wstring& corpusArgument, std::optional<size_t> sample, size_t seed,
              const std::wstring& keepFailuresIn) {
    const std::wstring corpus = FullPath(corpusArgument);
    const std::optional<std::vector<Entry>> entries = ReadManifest(corpus);
    if (!entries || entries->empty()) {
        Print("stress_corpus: no corpus.tsv in " + Utf8(corpus) + "\n");
        return EXIT_SETUP;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring scratch = std::wstring(temp) + L"moviepane-stress-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(scratch.c_str(), nullptr);
    const std::wstring sampleMovie = corpus + L"\\sample.mp4";
    if (!CopyFileW(sampleMovie.c_str(), (scratch + L"\\locked.mp4").c_str(), FALSE) ||
        !CopyFileW(sampleMovie.c_str(), (scratch + L"\\deleted.mp4").c_str(), FALSE)) {
        Print("stress_corpus: cannot copy " + Utf8(sampleMovie) + " to " + Utf8(scratch) + "\n");
        return EXIT_SETUP;
    }

    for (const char* kept : KEPT_IN_SAMPLE) {
        if (!keepFailuresIn.empty()) break;
        const bool found = std::any_of(entries->begin(), entries->end(),
                                       [&](const Entry& entry) { return Utf8(entry.name) == kept; });
        if (!found) {
            Print("stress_corpus: the corpus lacks " + std::string(kept) + ", which every sample runs\n");
            return EXIT_SETUP;
        }
    }
    const std::vector<Run> runs = PlanRuns(*entries, corpus, scratch, sample, seed);
    Print("stress_corpus: " + std::to_string(runs.size()) + " runs from " + Utf8(corpus) + "\n");
    std::vector<Result> results;
    const ULONGLONG started = GetTickCount64();
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        // The parent's own exclusive handle: the module has to cope with a file it cannot open.
        Handle locked;
        if (run.kind == "locked")
            locked.reset(CreateFileW(run.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        Result result = RunChild(run);
        locked.reset();
        if (run.kind == "canary" && result.outcome != "played") {
            result.failed = true;
            result.notes.push_back("the canary did not play: an earlier file spoiled the next one");
        }
        if (result.failed && !keepFailuresIn.empty() && run.kind != "canary") KeepFailure(keepFailuresIn, run);
        PrintRun(i, runs.size(), run, result);
        results.push_back(std::move(result));
    }
    const ULONGLONG took = GetTickCount64() - started;
    DeleteFileW((scratch + L"\\locked.mp4").c_str());
    DeleteFileW((scratch + L"\\deleted.mp4").c_str());
    RemoveDirectoryW(scratch.c_str());
    return Summarize("bad-input files", runs, results, took);
}

int RunWidths(const std::wstring& mediaArgument, size_t plays) {
    const std::wstring media = FullPath(mediaArgument);
    const std::vector<Run> runs = PlanWidthRuns(media, plays);
    if (runs.empty()) {
        Print("stress_corpus: no wide-*.mp4 or wide-*.mov in " + Utf8(media) + "\n");
        return EXIT_SETUP;
    }
    Print("stress_corpus: " + std::to_string(runs.size()) + " plays of common widths from " + Utf8(media) + "\n");
    std::vector<Result> results;
    const ULONGLONG started = GetTickCount64();
    for (size_t i = 0; i < runs.size(); ++i) {
        Result result = RunChild(runs[i]);
        PrintRun(i, runs.size(), runs[i], result);
        results.push_back(std::move(result));
    }
    return Summarize("common widths", runs, results, GetTickCount64() - started);
}

std::optional<size_t> Count(const wchar_t* text) {
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end == text || *end != L'\0') return std::nullopt;
    return static_cast<size_t>(value);
}

int Usage() {
    Print("usage: stress_corpus.exe CORPUS_DIR [--sample N] [--seed S] [--failures DIR]\n"
          "       stress_corpus.exe --widths MEDIA_DIR [--plays N]\n"
          "       stress_corpus.exe --one PATH [--special deleted|brief]\n");
    return EXIT_SETUP;
}

}  // namespace

int main() {
    int count = 0;
    const ArgumentList arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments || count < 2) return Usage();
    LPWSTR* arg = arguments.get();
    if (std::wcscmp(arg[1], L"--one") == 0) {
        if (count == 3) return RunOne(arg[2], L"");
        if (count == 5 && std::wcscmp(arg[3], L"--special") == 0) return RunOne(arg[2], arg[4]);
        return Usage();
    }
    if (std::wcscmp(arg[1], L"--widths") == 0) {
        if (count == 3) return RunWidths(arg[2], DEFAULT_WIDTH_PLAYS);
        const std::optional<size_t> plays = count == 5 ? Count(arg[4]) : std::nullopt;
        if (!plays || !*plays || std::wcscmp(arg[3], L"--plays") != 0) return Usage();
        return RunWidths(arg[2], *plays);
    }
    std::optional<size_t> sample;
    size_t seed = 0;
    std::wstring failures;
    for (int i = 2; i < count; i += 2) {
        if (i + 1 >= count) return Usage();
        if (std::wcscmp(arg[i], L"--failures") == 0) {
            failures = FullPath(arg[i + 1]);
            continue;
        }
        std::optional<size_t> value = Count(arg[i + 1]);
        if (!value) return Usage();
        if (std::wcscmp(arg[i], L"--sample") == 0) {
            sample = value;
        } else if (std::wcscmp(arg[i], L"--seed") == 0) {
            seed = *value;
        } else {
            return Usage();
        }
    }
    return RunCorpus(arg[1], sample, seed, failures);
}
