// open_latency MEDIA_DIR [ROUNDS]
//
// How long the module takes from nothing to a playing 720p movie, against a minimal Media
// Foundation program doing only what playback needs, and how long destroying a playing viewer
// takes. Rounds interleave the two, alternating which goes first, after one untimed warm-up
// round of each (the first start of the platform in a process loads its libraries).

#include "bench/MinimalPlayer.h"
#include "module/ExtViewModuleInfo.h"
#include "module/Owned.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int DEFAULT_ROUNDS = 7;
constexpr int MAX_ROUNDS = 1000;
constexpr int VIDEO_WIDTH = 1280;
constexpr int VIDEO_HEIGHT = 720;
constexpr DWORD PLAYING_TIMEOUT_MS = 15000;
constexpr double OPEN_RATIO_GOAL = 1.05;
constexpr double DESTROY_GOAL_MS = 50.0;
constexpr wchar_t WINDOW_CLASS[] = L"MoviepaneOpenLatency";

using ArgumentList = Owned<LPWSTR*, LocalFree>;
using Library = Owned<HMODULE, FreeLibrary>;
using Window = Owned<HWND, DestroyWindow>;

class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};

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

// What a child window needs to hand its messages to the viewer inside it.
struct ViewerBinding {
    const ExtViewModuleInfo* module = nullptr;
    ExtViewHandle viewer = nullptr;
};

LRESULT CALLBACK VideoWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const auto* binding = reinterpret_cast<const ViewerBinding*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (binding && binding->viewer && binding->module->message(binding->viewer, message, wParam, lParam) != 1) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

Window CreateVideoWindow(HWND parent, ViewerBinding* binding) {
    return Window(CreateWindowExW(0, WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, VIDEO_WIDTH,
                                  VIDEO_HEIGHT, parent, nullptr, GetModuleHandleW(nullptr), binding));
}

struct Timing {
    double openMs = 0;
    double closeMs = 0;
};

std::optional<Timing> TimeModule(const ExtViewModuleInfo& module, HWND parent, const std::wstring& path) {
    ViewerBinding binding{&module, nullptr};
    const Window window = CreateVideoWindow(parent, &binding);
    if (!window) return std::nullopt;
    Timing timing;
    const Stopwatch opening;
    binding.viewer = module.create(nullptr);
    const bool opened = module.open(binding.viewer, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr) == 0 &&
                        module.attach(binding.viewer, window.get()) == 0;
    // The position is known from the moment the session reports that it started.
    int32_t position = 0;
    bool playing = false;
    while (opened && !playing && opening.Milliseconds() < PLAYING_TIMEOUT_MS) {
        playing = module.message(binding.viewer, WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0;
        if (!playing) bench::WaitPumping(nullptr, 1);
    }
    timing.openMs = opening.Milliseconds();

    const ExtViewHandle viewer = binding.viewer;
    binding.viewer = nullptr;
    const Stopwatch closing;
    module.destroy(viewer);
    timing.closeMs = closing.Milliseconds();
    if (!opened) std::printf("the module could not open the movie\n");
    if (opened && !playing) {
        std::printf("the module was not playing after %lu ms\n", static_cast<unsigned long>(PLAYING_TIMEOUT_MS));
    }
    if (!playing) return std::nullopt;
    return timing;
}

std::optional<Timing> TimeMinimal(HWND parent, const std::wstring& path) {
    const Window window = CreateVideoWindow(parent, nullptr);
    if (!window) return std::nullopt;
    Timing timing;
    bench::MinimalPlayer player;
    const Stopwatch opening;
    const HRESULT played = player.Play(path.c_str(), window.get());
    timing.openMs = opening.Milliseconds();
    const Stopwatch closing;
    const HRESULT closed = player.Close();
    timing.closeMs = closing.Milliseconds();
    if (FAILED(played) || FAILED(closed)) {
        std::printf("minimal player failed: 0x%08lX\n", static_cast<unsigned long>(FAILED(played) ? played : closed));
        return std::nullopt;
    }
    return timing;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::wstring BesideThisProgram(const wchar_t* name) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

const ExtViewModuleInfo* ReadModuleInfo(HMODULE library) {
    if (!library) return nullptr;
    const auto getInfo = reinterpret_cast<GetExtViewModuleInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetExtViewModuleInfo")));
    const ExtViewModuleInfo* info = getInfo ? getInfo(nullptr) : nullptr;
    return info && info->signature && std::string(info->signature) == "VornExtViewModule" ? info : nullptr;
}

Window CreateBenchWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = VideoWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = WINDOW_CLASS;
    if (!RegisterClassExW(&windowClass)) return Window();
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE;
    RECT bounds{0, 0, VIDEO_WIDTH, VIDEO_HEIGHT};
    AdjustWindowRectEx(&bounds, style, FALSE, 0);
    return Window(CreateWindowExW(0, WINDOW_CLASS, L"open_latency", style, 0, 0, bounds.right - bounds.left,
                                  bounds.bottom - bounds.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                                  nullptr));
}

}  // namespace

int main() {
    int count = 0;
    const ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    const int rounds = count > 2 ? _wtoi(args.get()[2]) : DEFAULT_ROUNDS;
    if (!args || count < 2 || rounds < 1 || rounds > MAX_ROUNDS) {
        std::printf("usage: open_latency MEDIA_DIR [ROUNDS]\n");
        return 2;
    }
    const std::wstring path = FullPath(std::wstring(args.get()[1]) + L"\\hd720.mp4");
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("hd720.mp4 not found in the media folder\n");
        return 2;
    }
    const ComApartment com;
    const Library library(LoadLibraryW(BesideThisProgram(L"moviepane.dll").c_str()));
    const ExtViewModuleInfo* module = ReadModuleInfo(library.get());
    if (!module) {
        std::printf("moviepane.dll missing beside this program, or not a viewer module\n");
        return 2;
    }
    const Window frame = CreateBenchWindow();
    if (!frame) {
        std::printf("cannot create the window\n");
        return 2;
    }

    std::vector<double> moduleOpen, minimalOpen, moduleDestroy, minimalClose;
    for (int round = 0; round <= rounds; ++round) {
        std::optional<Timing> ofModule;
        std::optional<Timing> ofMinimal;
        if (round % 2 == 0) {
            ofModule = TimeModule(*module, frame.get(), path);
            ofMinimal = TimeMinimal(frame.get(), path);
        } else {
            ofMinimal = TimeMinimal(frame.get(), path);
            ofModule = TimeModule(*module, frame.get(), path);
        }
        if (!ofModule || !ofMinimal) return 1;
        if (round == 0) continue;
        std::printf("round %2d: module %7.1f ms open, %6.1f ms destroy | minimal %7.1f ms open, %6.1f ms close\n",
                    round, ofModule->openMs, ofModule->closeMs, ofMinimal->openMs, ofMinimal->closeMs);
        moduleOpen.push_back(ofModule->openMs);
        moduleDestroy.push_back(ofModule->closeMs);
        minimalOpen.push_back(ofMinimal->openMs);
        minimalClose.push_back(ofMinimal->closeMs);
    }
    const double ratio = Median(moduleOpen) / Median(minimalOpen);
    const double destroyMs = Median(moduleDestroy);
    std::printf("\nhd720.mp4, median of %d rounds   module   minimal   ratio\n", rounds);
    std::printf("open to playing, ms            %7.1f   %7.1f   %5.3f  (goal <= %.2f: %s)\n", Median(moduleOpen),
                Median(minimalOpen), ratio, OPEN_RATIO_GOAL, ratio <= OPEN_RATIO_GOAL ? "met" : "missed");
    std::printf("destroy while playing, ms      %7.1f   %7.1f           (goal < %.0f: %s)\n", destroyMs,
                Median(minimalClose), DESTROY_GOAL_MS, destroyMs < DESTROY_GOAL_MS ? "met" : "missed");
    return 0;
}
