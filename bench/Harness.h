#pragma once
// What the benchmark programs share: the module loaded from beside the program as a host loads
// it, panes that hand their messages to a viewer as a host's panes do, and the timed rounds in
// which the module and the minimal player open, seek and close the same movie side by side.

#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "common/Owned.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

constexpr int VIDEO_WIDTH = 1280;
constexpr int VIDEO_HEIGHT = 720;
constexpr DWORD PLAYING_TIMEOUT_MS = 15000;
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

using ArgumentList = Owned<LPWSTR*, LocalFree>;
using Library = Owned<HMODULE, FreeLibrary>;
using Window = Owned<HWND, DestroyWindow>;

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Milliseconds() const {
        LARGE_INTEGER now{};
        LARGE_INTEGER frequency{};
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER start_{};
};

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs this thread's messages until done() or the time is up; returns done().
template <typename Done>
bool PumpUntil(Done done, double timeoutMs) {
    const Stopwatch elapsed;
    while (!done()) {
        const double left = timeoutMs - elapsed.Milliseconds();
        if (left <= 0) return done();
        WaitPumping(nullptr, static_cast<DWORD>(std::min(left, 10.0)) + 1);
    }
    return true;
}

inline void PumpFor(double milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

inline bool NearTarget(double positionMs, int32_t targetMs) {
    return positionMs >= targetMs - SEEK_TOLERANCE_MS && positionMs <= targetMs + SEEK_TOLERANCE_MS;
}

inline std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline std::wstring BesideThisProgram(const wchar_t* name) {
    const std::wstring program = ThisProgram();
    return program.substr(0, program.find_last_of(L"\\/") + 1) + name;
}

inline std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// The movie every benchmark plays, in the media folder given on the command line.
inline std::optional<std::wstring> BenchMovie(const wchar_t* mediaDir) {
    const std::wstring path = FullPath(std::wstring(mediaDir) + L"\\hd720.mp4");
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return path;
}

inline const ExtViewModuleInfo* ReadModuleInfo(HMODULE library) {
    if (!library) return nullptr;
    const auto getInfo = reinterpret_cast<GetExtViewModuleInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetExtViewModuleInfo")));
    const ExtViewModuleInfo* info = getInfo ? getInfo(nullptr) : nullptr;
    return info && info->signature && std::strcmp(info->signature, "VornExtViewModule") == 0 ? info : nullptr;
}

// The module beside this program, loaded as a host loads it: no module code is linked in.
class LoadedModule {
public:
    LoadedModule()
        : library_(LoadLibraryW(BesideThisProgram(L"moviepane.dll").c_str())), info_(ReadModuleInfo(library_.get())) {}
    const ExtViewModuleInfo* info() const { return info_; }

private:
    Library library_;
    const ExtViewModuleInfo* info_;
};

class ModuleViewer;

// Frames and panes share one class: a pane bound to a viewer hands it every message first, and
// a message the viewer answers with 1 is left to the pane, as in a host.
LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline bool RegisterBenchClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = BenchWindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = WINDOW_CLASS;
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered;
}

inline Window CreateFrame(const wchar_t* title) {
    if (!RegisterBenchClass()) return Window();
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE;
    RECT bounds{0, 0, VIDEO_WIDTH, VIDEO_HEIGHT};
    AdjustWindowRectEx(&bounds, style, FALSE, 0);
    return Window(CreateWindowExW(0, WINDOW_CLASS, title, style, 0, 0, bounds.right - bounds.left,
                                  bounds.bottom - bounds.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
}

inline Window CreatePane(HWND parent, ModuleViewer* viewer) {
    return Window(CreateWindowExW(0, WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                                  0, VIDEO_WIDTH, VIDEO_HEIGHT, parent, nullptr, GetModuleHandleW(nullptr), viewer));
}

// One viewer of the module in a pane of its own, driven through the entry points.
class ModuleViewer {
public:
    ModuleViewer(const ExtViewModuleInfo& module, HWND parent) : module_(module), pane_(CreatePane(parent, this)) {}
    ~ModuleViewer() { Destroy(); }
    ModuleViewer(const ModuleViewer&) = delete;
    ModuleViewer& operator=(const ModuleViewer&) = delete;

    // Create, open and attach; false when one of them failed.
    bool Open(const std::wstring& path) {
        if (!pane_) return false;
        viewer_ = module_.create(nullptr);
        if (!viewer_) return false;
        const INT_PTR opened =
            module_.open(viewer_, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        return opened == 0 && module_.attach(viewer_, pane_.get()) == 0;
    }

    // The position in milliseconds, which the module knows from the moment the session reports
    // that it started.
    std::optional<int32_t> Position() {
        int32_t position = 0;
        if (!viewer_ || Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) != 0) {
            return std::nullopt;
        }
        return position;
    }

    // Seeks the way the seek bar's step codes do: the module reads the bar's position and starts
    // the session there at once.
    bool SeekByBar(int32_t targetMs) {
        const HWND bar = GetDlgItem(pane_.get(), SEEK_BAR_ID);
        const std::optional<int> value = BarValue(targetMs);
        if (!bar || !value) return false;
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(*value), 0);
        return Message(WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0), reinterpret_cast<LPARAM>(bar)) == 0;
    }

    // Seeks as a press and release on the seek bar do: the module pauses while the thumb is
    // held and resumes at the new place on release.
    bool SeekByDrag(int32_t targetMs) {
        const HWND bar = GetDlgItem(pane_.get(), SEEK_BAR_ID);
        const std::optional<int> value = BarValue(targetMs);
        if (!bar || !value) return false;
        const auto barParam = reinterpret_cast<LPARAM>(bar);
        return Message(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, *value), barParam) == 0 &&
               Message(WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), barParam) == 0;
    }

    void Destroy() {
        // The teardown sends messages to the pane, which must not reach a viewer being deleted.
        const ExtViewHandle viewer = std::exchange(viewer_, nullptr);
        if (viewer) module_.destroy(viewer);
    }

    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) {
        return module_.message(viewer_, message, wParam, lParam);
    }
    ExtViewHandle Handle() const { return viewer_; }

private:
    std::optional<int> BarValue(int32_t targetMs) {
        int32_t durationMs = 0;
        if (Message(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&durationMs), 0) != 0 || durationMs <= targetMs) {
            return std::nullopt;
        }
        return static_cast<int>((static_cast<int64_t>(targetMs) * SEEK_BAR_MAX + durationMs / 2) / durationMs);
    }

    const ExtViewModuleInfo& module_;
    ExtViewHandle viewer_ = nullptr;
    Window pane_;
};

inline LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* viewer = reinterpret_cast<ModuleViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (viewer && viewer->Handle() && viewer->Message(message, wParam, lParam) != 1) return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

inline std::optional<double> MinimalPositionMs(MinimalPlayer& player) {
    MFTIME time = 0;
    if (FAILED(player.Position(&time))) return std::nullopt;
    return static_cast<double>(time) / 10000.0;
}

// What one side took, in milliseconds, in one round. The seeks are made only when asked for.
struct RoundTimes {
    double openMs = 0;
    double seekMs = 0;
    double dragMs = 0;
    double closeMs = 0;
};

inline std::nullopt_t Fail(const char* what) {
    std::printf("%s\n", what);
    return std::nullopt;
}

// Open until playing, optionally a seek by the bar and one by a drag, then destroy while playing.
inline std::optional<RoundTimes> ModuleRound(const ExtViewModuleInfo& module, HWND frame, const std::wstring& path,
                                             bool withSeeks) {
    RoundTimes times;
    ModuleViewer viewer(module, frame);
    const Stopwatch opening;
    if (!viewer.Open(path)) return Fail("the module could not open the movie");
    if (!PumpUntil([&] { return viewer.Position().has_value(); }, PLAYING_TIMEOUT_MS)) {
        return Fail("the module did not start playing");
    }
    times.openMs = opening.Milliseconds();

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
    viewer.Destroy();
    times.closeMs = closing.Milliseconds();
    return times;
}

// The same steps for the minimal player; both of its seeks are plain starts at the new place.
inline std::optional<RoundTimes> MinimalRound(HWND frame, const std::wstring& path, bool withSeeks) {
    RoundTimes times;
    const Window pane = CreatePane(frame, nullptr);
    if (!pane) return Fail("cannot create the pane");
    MinimalPlayer player;
    const Stopwatch opening;
    const HRESULT played = player.Play(path.c_str(), pane.get());
    times.openMs = opening.Milliseconds();
    if (FAILED(played)) {
        std::printf("the minimal player failed to play: 0x%08lX\n", static_cast<unsigned long>(played));
        return std::nullopt;
    }

    const auto seeks = [&](int32_t targetMs) {
        return SUCCEEDED(player.Seek(static_cast<LONGLONG>(targetMs) * 10000)) &&
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
    const HRESULT closed = player.Close();
    times.closeMs = closing.Milliseconds();
    if (FAILED(closed)) {
        std::printf("the minimal player failed to close: 0x%08lX\n", static_cast<unsigned long>(closed));
        return std::nullopt;
    }
    return times;
}

struct RoundPair {
    RoundTimes module;
    RoundTimes minimal;
};

// Rounds of both sides, interleaved and alternating which goes first, after one untimed round
// of each: the first start of the platform in a process loads its libraries.
inline std::optional<std::vector<RoundPair>> RunRounds(const ExtViewModuleInfo& module, HWND frame,
                                                       const std::wstring& path, int rounds, bool withSeeks) {
    std::vector<RoundPair> pairs;
    for (int round = 0; round <= rounds; ++round) {
        std::optional<RoundTimes> ofModule;
        std::optional<RoundTimes> ofMinimal;
        if (round % 2 == 0) {
            ofModule = ModuleRound(module, frame, path, withSeeks);
            if (ofModule) ofMinimal = MinimalRound(frame, path, withSeeks);
        } else {
            ofMinimal = MinimalRound(frame, path, withSeeks);
            if (ofMinimal) ofModule = ModuleRound(module, frame, path, withSeeks);
        }
        if (!ofModule || !ofMinimal) return std::nullopt;
        if (round > 0) pairs.push_back(RoundPair{*ofModule, *ofMinimal});
    }
    return pairs;
}

// One figure of every round.
template <typename Pair, typename Field>
std::vector<double> Collect(const std::vector<Pair>& pairs, Field field) {
    std::vector<double> values;
    for (const Pair& pair : pairs) values.push_back(field(pair));
    return values;
}

}  // namespace bench
