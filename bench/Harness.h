#pragma once
// What the benchmark programs share: panes that hand their messages to a viewer as a host's
// panes do, and the timed rounds in which the module and the minimal player open, seek and close
// the same movie side by side.

#include "common/Owned.h"
#include "host/support/HostedViewer.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

constexpr DWORD PLAYING_TIMEOUT_MS = 15000;

using ArgumentList = Owned<LPWSTR*, LocalFree>;
using Window = Owned<HWND, DestroyWindow>;

class Stopwatch {
public:
    Stopwatch();
    double Milliseconds() const;

private:
    LARGE_INTEGER start_{};
};

double Median(std::vector<double> values);

// One figure of every round.
template <typename Pair, typename Field>
std::vector<double> Collect(const std::vector<Pair>& pairs, Field field) {
    std::vector<double> values;
    for (const Pair& pair : pairs) values.push_back(field(pair));
    return values;
}

// The movie every benchmark plays, in the media folder given on the command line.
std::optional<std::wstring> BenchMovie(const wchar_t* mediaDir);

// Prints what failed; for returning from a function that gives an optional.
std::nullopt_t Fail(const char* what);

class ModuleViewer;

// A frame of the movie's size, and a pane filling it that hands its messages to viewer first.
Window CreateFrame(const wchar_t* title);
Window CreatePane(HWND parent, ModuleViewer* viewer);

// One viewer of the module in a pane of its own.
class ModuleViewer {
public:
    ModuleViewer(const ExtViewModuleInfo& module, HWND parent);
    ~ModuleViewer() { Destroy(); }
    ModuleViewer(const ModuleViewer&) = delete;
    ModuleViewer& operator=(const ModuleViewer&) = delete;

    // Create, open and attach; false when one of them failed.
    bool Open(const std::wstring& path);
    // The position in milliseconds, which the module knows from the moment the session reports
    // that it started.
    std::optional<int32_t> Position();
    // Seeks the way the seek bar's step codes do: the module reads the bar's position and starts
    // the session there at once.
    bool SeekByBar(int32_t targetMs);
    // Seeks as a press and release on the seek bar do: the module pauses while the thumb is
    // held and resumes at the new place on release.
    bool SeekByDrag(int32_t targetMs);
    void Destroy();

    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) { return viewer_.Message(message, wParam, lParam); }
    ExtViewHandle Handle() const { return viewer_.handle(); }

private:
    std::optional<int> BarValue(int32_t targetMs);

    HostedViewer viewer_;
    Window pane_;
};

// What one side took, in milliseconds, in one round. The seeks are made only when asked for.
struct RoundTimes {
    double openMs = 0;
    double seekMs = 0;
    double dragMs = 0;
    double closeMs = 0;
};

struct RoundPair {
    RoundTimes module;
    RoundTimes minimal;
};

// Loads the module, makes a frame called title and runs rounds of both sides in it,
// interleaved and alternating which goes first, after one untimed round of each: the first start
// of the platform in a process loads its libraries. 0 with the pairs; 1 when a round failed, 2
// when the module or the window is missing, both told on standard output.
int RunTimedRounds(const wchar_t* title, const std::wstring& path, int rounds, bool withSeeks,
                   std::vector<RoundPair>& pairs);

}  // namespace bench
