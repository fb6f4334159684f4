#include "bench/Harness.h"

#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "host/support/CallWatch.h"
#include "host/support/HostWindows.h"
#include "host/support/LoadedModule.h"
#include "host/support/MessagePump.h"
#include "host/support/ScreenPixels.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace bench {

namespace {

constexpr int VIDEO_WIDTH = 1280;
constexpr int VIDEO_HEIGHT = 720;
constexpr wchar_t WINDOW_CLASS[] = L"MoviepaneBench";

// The panel's seek bar: its control id in the pane and its range.
constexpr int SEEK_BAR_ID = 3;
constexpr int SEEK_BAR_MAX = 65535;

// Where the rounds seek to, in a movie of at least 12 s, and how close to the target the
// position must be for the seek to count as done.
constexpr int32_t PLAY_BEFORE_SEEK_MS = 1000;
constexpr int32_t SEEK_TARGET_MS = 8000;
constexpr int32_t DRAG_TARGET_MS = 3000;
constexpr int32_t SETTLE_AFTER_SEEK_MS = 300;
constexpr int32_t SEEK_TOLERANCE_MS = 250;

// The picture is read from the middle half of a row across the middle of the pane, above the
// module's panel, a few times a frame; the row counts as lit when most of it is. The frame may
// reach past the screen's edge, and a copy of the screen that does yields nothing under Wine.
constexpr DWORD PICTURE_POLL_MS = 2;
constexpr DWORD DARK_WAIT_MS = 1000;

// A round takes seconds; each of its waits for the platform ends after at most 15 s.
constexpr ULONGLONG ROUND_HANG_MS = 90000;
constexpr DWORD ROUND_LOOK_MS = 1000;
constexpr char MODULE_ROUND[] = "module";
constexpr char MINIMAL_ROUND[] = "minimal player";

// The watch of the rounds under way: each round, and the platform calls in it.
CallWatch* roundWatch = nullptr;

template <typename Call>
void Step(const char* name, Call&& call) {
    if (roundWatch) {
        Watched(*roundWatch, name, call);
    } else {
        call();
    }
}

RECT PictureRow(HWND pane) {
    RECT client{};
    GetClientRect(pane, &client);
    const LONG middle = client.bottom / 2;
    return RECT{client.right / 4, middle, client.right * 3 / 4, middle + 1};
}

bool MostlyLit(const std::vector<DWORD>& pixels) {
    const auto lit = std::count_if(pixels.begin(), pixels.end(), IsLit);
    return !pixels.empty() && static_cast<size_t>(lit) * 2 > pixels.size();
}

bool MostlyDark(const std::vector<DWORD>& pixels) {
    const auto lit = std::count_if(pixels.begin(), pixels.end(), IsLit);
    return !pixels.empty() && static_cast<size_t>(lit) * 10 < pixels.size();
}

bool NearTarget(double positionMs, int32_t targetMs) {
    return positionMs >= targetMs - SEEK_TOLERANCE_MS && positionMs <= targetMs + SEEK_TOLERANCE_MS;
}

// Frames and panes share one class: a pane bound to a viewer hands it every message first, and
// a message the viewer answers with 1 is left to the pane, as in a host.
LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* viewer = OwnerOf<ModuleViewer>(window, message, lParam);
    if (viewer && viewer->Handle() && viewer->Message(message, wParam, lParam) != 1) return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterBenchClass() {
    static const bool registered =
        RegisterWindowClass(WINDOW_CLASS, BenchWindowProc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    return registered;
}

std::optional<double> MinimalPositionMs(MinimalPlayer& player) {
    MFTIME time = 0;
    if (FAILED(player.Position(&time))) return std::nullopt;
    return static_cast<double>(time) / 10000.0;
}

// Open until playing, optionally a seek by the bar and one by a drag, then destroy while playing.
std::optional<RoundTimes> ModuleRound(const ExtViewModuleInfo& module, HWND frame, const std::wstring& path,
                                      bool withSeeks) {
    RoundTimes times;
    ModuleViewer viewer(module, frame);
    if (!WaitUntilDark(viewer.Pane())) return Fail("the module's pane did not clear");
    auto picture = std::make_unique<PictureWatch>(viewer.Pane());
    const Stopwatch opening;
    bool opened = false;
    Step("open and attach", [&] { opened = viewer.Open(path); });
    if (!opened) return Fail("the module could not open the movie");
    if (!PumpUntil([&] { return viewer.Position().has_value(); }, PLAYING_TIMEOUT_MS)) {
        return Fail("the module did not start playing");
    }
    times.openMs = opening.Milliseconds();
    if (!PumpUntil([&] { return picture->Milliseconds().has_value(); }, PLAYING_TIMEOUT_MS)) {
        return Fail("the module's picture did not come");
    }
    times.pictureMs = *picture->Milliseconds();
    Step("the end of the picture's watch", [&] { picture.reset(); });

    const auto reaches = [&](int32_t targetMs) {
        return PumpUntil(
            [&] {
                const std::optional<int32_t> position = viewer.Position();
                return position && NearTarget(*position, targetMs);
            },
            PLAYING_TIMEOUT_MS);
    };
    const auto plays = [&](int32_t fromMs) {
        return PumpUntil(
            [&] {
                const std::optional<int32_t> position = viewer.Position();
                return position && *position >= fromMs;
            },
            PLAYING_TIMEOUT_MS);
    };
    if (withSeeks) {
        if (!plays(PLAY_BEFORE_SEEK_MS)) return Fail("the module's clock did not run");
        const Stopwatch seeking;
        if (!viewer.SeekByBar(SEEK_TARGET_MS) || !reaches(SEEK_TARGET_MS)) {
            return Fail("the module's seek by the bar did not arrive");
        }
        times.seekMs = seeking.Milliseconds();
        if (!plays(SEEK_TARGET_MS + SETTLE_AFTER_SEEK_MS)) return Fail("the module stalled after a seek");
        const Stopwatch dragging;
        if (!viewer.SeekByDrag(DRAG_TARGET_MS) || !reaches(DRAG_TARGET_MS)) {
            return Fail("the module's seek by a drag did not arrive");
        }
        times.dragMs = dragging.Milliseconds();
        if (!plays(DRAG_TARGET_MS + SETTLE_AFTER_SEEK_MS)) return Fail("the module stalled after a drag");
    }

    const Stopwatch closing;
    Step("destroy", [&] { viewer.Destroy(); });
    times.closeMs = closing.Milliseconds();
    return times;
}

// The same steps for the minimal player; both of its seeks are plain starts at the new place.
std::optional<RoundTimes> MinimalRound(HWND frame, const std::wstring& path, bool withSeeks) {
    RoundTimes times;
    const Window pane = CreatePane(frame, nullptr);
    if (!pane) return Fail("cannot create the pane");
    if (!WaitUntilDark(pane.get())) return Fail("the minimal player's pane did not clear");
    MinimalPlayer player;
    auto picture = std::make_unique<PictureWatch>(pane.get());
    const Stopwatch opening;
    HRESULT played = E_FAIL;
    Step("play", [&] { played = player.Play(path.c_str(), pane.get()); });
    times.openMs = opening.Milliseconds();
    if (FAILED(played)) {
        std::printf("the minimal player failed to play: 0x%08lX\n", static_cast<unsigned long>(played));
        return std::nullopt;
    }
    if (!PumpUntil([&] { return picture->Milliseconds().has_value(); }, PLAYING_TIMEOUT_MS)) {
        return Fail("the minimal player's picture did not come");
    }
    times.pictureMs = *picture->Milliseconds();
    Step("the end of the picture's watch", [&] { picture.reset(); });

    const auto seeks = [&](int32_t targetMs) {
        HRESULT sought = E_FAIL;
        Step("seek", [&] { sought = player.Seek(static_cast<LONGLONG>(targetMs) * 10000); });
        return SUCCEEDED(sought) &&
               PumpUntil(
                   [&] {
                       const std::optional<double> position = MinimalPositionMs(player);
                       return position && NearTarget(*position, targetMs);
                   },
                   PLAYING_TIMEOUT_MS);
    };
    const auto plays = [&](int32_t fromMs) {
        return PumpUntil(
            [&] {
                const std::optional<double> position = MinimalPositionMs(player);
                return position && *position >= fromMs;
            },
            PLAYING_TIMEOUT_MS);
    };
    if (withSeeks) {
        if (!plays(PLAY_BEFORE_SEEK_MS)) return Fail("the minimal player's clock did not run");
        const Stopwatch seeking;
        if (!seeks(SEEK_TARGET_MS)) return Fail("the minimal player's seek did not arrive");
        times.seekMs = seeking.Milliseconds();
        if (!plays(SEEK_TARGET_MS + SETTLE_AFTER_SEEK_MS)) return Fail("the minimal player stalled");
        const Stopwatch dragging;
        if (!seeks(DRAG_TARGET_MS)) return Fail("the minimal player's seek did not arrive");
        times.dragMs = dragging.Milliseconds();
        if (!plays(DRAG_TARGET_MS + SETTLE_AFTER_SEEK_MS)) return Fail("the minimal player stalled");
    }

    const Stopwatch closing;
    HRESULT closed = E_FAIL;
    Step("close", [&] { closed = player.Close(); });
    times.closeMs = closing.Milliseconds();
    if (FAILED(closed)) {
        std::printf("the minimal player failed to close: 0x%08lX\n", static_cast<unsigned long>(closed));
        return std::nullopt;
    }
    return times;
}

void PrintRound(int round, const RoundPair& pair, bool withSeeks) {
    const RoundTimes& m = pair.module;
    const RoundTimes& p = pair.minimal;
    std::printf("round %2d, module/minimal ms: open %.1f/%.1f, first picture %.1f/%.1f", round, m.openMs, p.openMs,
                m.pictureMs, p.pictureMs);
    if (withSeeks) std::printf(", seek %.1f/%.1f, drag %.1f/%.1f", m.seekMs, p.seekMs, m.dragMs, p.dragMs);
    std::printf(", destroy/close %.1f/%.1f\n", m.closeMs, p.closeMs);
    std::fflush(stdout);
}

// A round that never ends holds the process for good; the platform's own session can hang so.
void EndHungRound(std::vector<CallWatch::Call>& calls) {
    const CallWatch::Call& round = calls.front();
    if (GetTickCount64() - round.start <= ROUND_HANG_MS) return;
    const bool ofModule = std::strcmp(round.name, MODULE_ROUND) == 0;
    std::printf("HANG: a round of the %s has not ended after %llu s, in its %s\n", round.name, ROUND_HANG_MS / 1000,
                calls.size() > 1 ? calls.back().name : "waits");
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), ofModule ? 1 : 0);
}

// Rounds of both sides, interleaved and alternating which goes first, after one untimed round
// of each: the first start of the platform in a process loads its libraries.
TimedRounds RunRounds(const ExtViewModuleInfo& module, HWND frame, const std::wstring& path, int rounds,
                      bool withSeeks) {
    TimedRounds timed;
    CallWatch watch(ROUND_LOOK_MS, EndHungRound);
    roundWatch = &watch;
    const auto ofModule = [&](int round) {
        std::optional<RoundTimes> times;
        Watched(watch, MODULE_ROUND, [&] { times = ModuleRound(module, frame, path, withSeeks); });
        if (!times) timed.moduleFailure = "the module failed in round " + std::to_string(round);
        return times;
    };
    const auto ofMinimal = [&](int round) {
        std::optional<RoundTimes> times;
        Watched(watch, MINIMAL_ROUND, [&] { times = MinimalRound(frame, path, withSeeks); });
        if (!times) timed.minimalFailure = "the minimal player failed in round " + std::to_string(round);
        return times;
    };
    for (int round = 0; round <= rounds; ++round) {
        std::optional<RoundTimes> moduleTimes;
        std::optional<RoundTimes> minimalTimes;
        if (round % 2 == 0) {
            moduleTimes = ofModule(round);
            if (moduleTimes) minimalTimes = ofMinimal(round);
        } else {
            minimalTimes = ofMinimal(round);
            if (minimalTimes) moduleTimes = ofModule(round);
        }
        if (!moduleTimes || !minimalTimes) break;
        if (round == 0) continue;
        timed.pairs.push_back(RoundPair{*moduleTimes, *minimalTimes});
        PrintRound(round, timed.pairs.back(), withSeeks);
    }
    roundWatch = nullptr;
    return timed;
}

}  // namespace

Stopwatch::Stopwatch() { QueryPerformanceCounter(&start_); }

double Stopwatch::Milliseconds() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
}

Spread SpreadOf(const std::vector<double>& values) {
    if (values.empty()) return {};
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return {*lowest, *highest};
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::optional<std::wstring> BenchMovie(const wchar_t* mediaDir) {
    const std::wstring path = FullPath(std::wstring(mediaDir) + L"\\hd720.mp4");
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return path;
}

std::nullopt_t Fail(const char* what) {
    std::printf("%s\n", what);
    return std::nullopt;
}

Window CreateFrame(const wchar_t* title) {
    if (!RegisterBenchClass()) return Window();
    return Window(::CreateFrame(WINDOW_CLASS, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, VIDEO_WIDTH,
                                VIDEO_HEIGHT));
}

Window CreatePane(HWND parent, ModuleViewer* viewer) {
    return Window(CreateWindowExW(0, WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                                  0, VIDEO_WIDTH, VIDEO_HEIGHT, parent, nullptr, GetModuleHandleW(nullptr), viewer));
}

PictureWatch::PictureWatch(HWND pane) : pane_(pane), thread_([this] { Run(); }) {}

PictureWatch::~PictureWatch() {
    stop_ = true;
    thread_.join();
}

std::optional<double> PictureWatch::Milliseconds() const {
    const double seen = seenMs_;
    if (seen < 0) return std::nullopt;
    return seen;
}

void PictureWatch::Run() {
    const RECT row = PictureRow(pane_);
    while (!stop_) {
        if (MostlyLit(CaptureClient(pane_, row))) {
            seenMs_ = started_.Milliseconds();
            return;
        }
        Sleep(PICTURE_POLL_MS);
    }
}

bool WaitUntilDark(HWND pane) {
    const RECT row = PictureRow(pane);
    return PumpUntil([&] { return MostlyDark(CaptureClient(pane, row)); }, DARK_WAIT_MS);
}

ModuleViewer::ModuleViewer(const ExtViewModuleInfo& module, HWND parent)
    : viewer_(module), pane_(CreatePane(parent, this)) {}

void ModuleViewer::Destroy() {
    // The teardown sends messages to the pane, which must not reach a viewer being deleted.
    if (pane_) SetWindowLongPtrW(pane_.get(), GWLP_USERDATA, 0);
    viewer_.Destroy();
}

bool ModuleViewer::Open(const std::wstring& path, double* openMs, double* attachMs) {
    const Stopwatch opening;
    if (!pane_ || !viewer_.Create() || !viewer_.Open(path)) return false;
    if (openMs) *openMs = opening.Milliseconds();
    const Stopwatch attaching;
    if (!viewer_.Attach(pane_.get())) return false;
    if (attachMs) *attachMs = attaching.Milliseconds();
    return true;
}

std::optional<int32_t> ModuleViewer::Position() {
    int32_t position = 0;
    if (!Handle() || Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) != 0) {
        return std::nullopt;
    }
    return position;
}

bool ModuleViewer::SeekByBar(int32_t targetMs) {
    const HWND bar = GetDlgItem(pane_.get(), SEEK_BAR_ID);
    const std::optional<int> value = BarValue(targetMs);
    if (!bar || !value) return false;
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(*value), 0);
    return Message(WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), reinterpret_cast<LPARAM>(bar)) == 0;
}

bool ModuleViewer::SeekByDrag(int32_t targetMs) {
    const HWND bar = GetDlgItem(pane_.get(), SEEK_BAR_ID);
    const std::optional<int> value = BarValue(targetMs);
    if (!bar || !value) return false;
    const auto barParam = reinterpret_cast<LPARAM>(bar);
    return Message(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, *value), barParam) == 0 &&
           Message(WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), barParam) == 0;
}

std::optional<int> ModuleViewer::BarValue(int32_t targetMs) {
    int32_t durationMs = 0;
    if (Message(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&durationMs), 0) != 0 || durationMs <= targetMs) {
        return std::nullopt;
    }
    return static_cast<int>((static_cast<int64_t>(targetMs) * SEEK_BAR_MAX + durationMs / 2) / durationMs);
}

int RunTimedRounds(const wchar_t* title, const std::wstring& path, int rounds, bool withSeeks, TimedRounds& timed) {
    const ComApartment com;
    const LoadedModule module;
    if (!module.info()) {
        std::printf("moviepane.dll missing beside this program, or not a viewer module\n");
        return 2;
    }
    const Window frame = CreateFrame(title);
    if (!frame) {
        std::printf("cannot create the window\n");
        return 2;
    }
    timed = RunRounds(*module.info(), frame.get(), path, rounds, withSeeks);
    return 0;
}

}  // namespace bench
