#pragma once
// The runs of the corpus: which files, in which order, each in a host process of its own, and
// how each one ended.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Corpus files that found a fault in the module, run by every sample as well.
// sample-mp4_cut-02277.mp4 (cut right after the header of the first track's chunk offsets): the
// platform's source stalls for good on about one open of it in ten, and open waited for it
// without a bound.
const char* const KEPT_IN_SAMPLE[] = {"sample-mp4_cut-02277.mp4"};

// A line of the corpus's manifest, corpus.tsv.
struct Entry {
    std::wstring name;  // below the corpus folder, with '/'
    std::string kind;
    std::string detail;
};

std::optional<std::vector<Entry>> ReadManifest(const std::wstring& corpus);

struct Run {
    std::string kind;
    std::wstring path;
    std::string label;  // for the listing
    std::wstring special;
};

struct Result {
    std::string outcome;  // "played", "refused: <text>", "hang", ...
    std::string detail;
    std::vector<std::string> harm;
    std::vector<std::string> notes;
    std::map<std::string, std::pair<unsigned, ULONGLONG>> calls;  // entry point: calls, longest ms
    ULONGLONG milliseconds = 0;
    bool failed = false;
};

// The runs in order: the chosen corpus entries (a long path both plain and with the \\?\ prefix),
// the two cases the runner makes itself, and a canary every few runs and at the end. sample
// spreads that many picks evenly over the damaged movies, seed shifts the spread.
std::vector<Run> PlanRuns(const std::vector<Entry>& entries, const std::wstring& corpus, const std::wstring& scratch,
                          std::optional<size_t> sample, size_t seed);

// plays runs taken in turn from the media folder's wide-*.mp4 and wide-*.mov, each a brief play;
// none when the folder has no such movie.
std::vector<Run> PlanWidthRuns(const std::wstring& media, size_t plays);

// Starts this program on one file and reads its report until it ends or runs out of time.
Result RunChild(const Run& run);
