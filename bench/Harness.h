#pragma once
// What the benchmark programs share: panes that hand their messages to a viewer as a host's
// panes do, and the timed rounds in which the module and the minimal player open, seek and close
// the same movie side by side, and in which the first picture is read off the screen.

#include "common/Owned.h"
#include "host/support/HostedViewer.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
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

// The lowest and the highest of values.
struct Spread {
    double lowest = 0;
    double highest = 0;
};
Spread SpreadOf(const std::vector<double>& values);

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

// Watches a row across the middle of a pane on a thread of its own, from its making on, for
// the first picture: the moment most of the row is lit. The pane must be black at the start.
class PictureWatch {
public:
    explicit PictureWatch(HWND pane);
    ~PictureWatch();
    PictureWatch(const PictureWatch&) = delete;
    PictureWatch& operator=(const PictureWatch&) = delete;

    // Milliseconds from the watch's making until the picture was first seen.
    std::optional<double> Milliseconds() const;

private:
    void Run();

    const HWND pane_;
    const Stopwatch started_;
    std::atomic<double> seenMs_{-1};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Lets the pane paint itself until the row that PictureWatch reads is dark; false when it is
// not within a second.
bool WaitUntilDark(HWND pane);

// One viewer of the module in a pane of its own.
class ModuleViewer {
public:
    ModuleViewer(const ExtViewModuleInfo& module, HWND parent);
    ~ModuleViewer() { Destroy(); }
    ModuleViewer(const ModuleViewer&) = delete;
    ModuleViewer& operator=(const ModuleViewer&) = delete;

    // Create, open and attach; false when one of them failed. With the two times, how long
    // create and open took, and attach.
    bool Open(const std::wstring& path, double* openMs = nullptr, double* attachMs = nullptr);
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

    HWND Pane() const { return pane_.get(); }

    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) { return viewer_.Message(message, wParam, lParam); }
    ExtViewHandle Handle() const { return viewer_.handle(); }

private:
    std::optional<int> BarValue(int32_t targetMs);

    HostedViewer viewer_;
    Window pane_;
};

// What one side took, in milliseconds, in one round: from the open call until the session
// reported playing, and until the first picture was on the screen. The seeks are made only
// when asked for.
struct RoundTimes {
    double openMs = 0;
    double pictureMs = 0;
    double seekMs = 0;
    double dragMs = 0;
    double closeMs = 0;
};

struct RoundPair {
    RoundTimes module;
    RoundTimes minimal;
};

// The rounds done, each told on standard output as it ends, and the side that failed, if one
// did: the rounds stop there, since a session of the platform's own that fails may have
// spoilt the platform for the rest of the process.
struct TimedRounds {
    std::vector<RoundPair> pairs;
    std::string moduleFailure;
    std::string minimalFailure;
};

// Loads the module, makes a frame called title and runs rounds of both sides in it,
// interleaved and alternating which goes first, after one untimed round of each: the first start
// of the platform in a process loads its libraries. A round still going after a minute and a
// half has hung: the process then ends at once, with exit code 1 when it was the module's and
// 0 when the minimal player's (the platform's own, which it does not guard against), told on
// standard output. Returns 2 when the module or the window is missing, else 0.
int RunTimedRounds(const wchar_t* title, const std::wstring& path, int rounds, bool withSeeks, TimedRounds& timed);

}  // namespace bench
