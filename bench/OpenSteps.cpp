#include "bench/OpenSteps.h"

#include "bench/Harness.h"
#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "common/Owned.h"
#include "host/support/LoadedModule.h"
#include "host/support/MessagePump.h"
#include "panel/UIPanel.h"
#include "quirks/RendererDeadlockGuard.h"
#include "player/Topology.h"
#include "viewer/SharedFileStream.h"

#include <mfapi.h>
#include <wrl/client.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace bench {

namespace {

using Microsoft::WRL::ComPtr;

struct ModuleSteps {
    double openedMs = 0;
    double attachedMs = 0;
    double playingMs = 0;
};

std::optional<ModuleSteps> ModuleRound(const ExtViewModuleInfo& module, HWND frame, const std::wstring& path) {
    ModuleViewer viewer(module, frame);
    ModuleSteps steps;
    double attachMs = 0;
    const Stopwatch opening;
    if (!viewer.Open(path, &steps.openedMs, &attachMs)) return Fail("the module could not open the movie");
    steps.attachedMs = steps.openedMs + attachMs;
    if (!PumpUntil([&] { return viewer.Position().has_value(); }, PLAYING_TIMEOUT_MS)) {
        return Fail("the module did not start playing");
    }
    steps.playingMs = opening.Milliseconds();
    return steps;
}

std::optional<PlaySteps> MinimalRound(HWND frame, const std::wstring& path, bool throughSharedFile) {
    const Window pane = CreatePane(frame, nullptr);
    MinimalPlayer player(throughSharedFile);
    PlaySteps steps;
    if (!pane || FAILED(player.Play(path.c_str(), pane.get(), &steps))) return Fail("the minimal player failed");
    return steps;
}

struct Timed {
    const char* what;
    std::vector<double> times;
};

void PrintTimed(const Timed& timed) {
    const Spread spread = SpreadOf(timed.times);
    std::printf("  %-56s %7.2f  (%.2f-%.2f)\n", timed.what, Median(timed.times), spread.lowest, spread.highest);
}

// One resolve into a media source, the way given, shut down again.
bool Resolve(const std::wstring& path, bool throughSharedStream) {
    ComPtr<IMFSourceResolver> resolver;
    ComPtr<IUnknown> object;
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    if (FAILED(MFCreateSourceResolver(&resolver))) return false;
    HRESULT hr = S_OK;
    if (throughSharedStream) {
        ComPtr<IStream> stream;
        ComPtr<IMFByteStream> bytes;
        hr = OpenSharedFileStream(path.c_str(), &stream);
        if (SUCCEEDED(hr)) hr = MFCreateMFByteStreamOnStream(stream.Get(), &bytes);
        if (SUCCEEDED(hr)) {
            hr = resolver->CreateObjectFromByteStream(bytes.Get(), path.c_str(), MF_RESOLUTION_MEDIASOURCE, nullptr,
                                                      &type, &object);
        }
    } else {
        hr = resolver->CreateObjectFromURL(path.c_str(), MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object);
    }
    ComPtr<IMFMediaSource> source;
    if (SUCCEEDED(hr)) hr = object.As(&source);
    if (source) source->Shutdown();
    return SUCCEEDED(hr);
}

// A thread as open starts one for its resolve: until it has joined the multithreaded apartment.
DWORD WINAPI JoinApartment(void* joined) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetEvent(static_cast<HANDLE>(joined));
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

bool StartThread() {
    const OwnedEvent joined(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE thread = CreateThread(nullptr, 0, JoinApartment, joined.get(), 0, nullptr);
    if (!thread) return false;
    const bool started = WaitForSingleObject(joined.get(), PLAYING_TIMEOUT_MS) == WAIT_OBJECT_0;
    WaitForSingleObject(thread, PLAYING_TIMEOUT_MS);
    CloseHandle(thread);
    return started;
}

bool ListenToClock() {
    ComPtr<IMFPresentationClock> clock;
    if (FAILED(MFCreatePresentationClock(&clock))) return false;
    const ComPtr<RendererDeadlockGuard> guard = RendererDeadlockGuard::Listen(clock.Get());
    if (guard) guard->Detach();
    return true;
}

bool MakePanel(HWND pane) {
    const auto panel = std::make_unique<UIPanel>();
    panel->Create(pane);
    return panel->playButton != nullptr;
}

}  // namespace

int MeasureOpenSteps(const std::wstring& path, int rounds) {
    const ComApartment com;
    const LoadedModule module;
    const Window frame = CreateFrame(L"open_latency");
    if (!module.info() || !frame) {
        Fail("no module or no window");
        return 1;
    }

    // The module, the minimal player, and the minimal player resolving the file as the module
    // does, taking turns at going first.
    std::vector<ModuleSteps> moduleSteps;
    std::vector<PlaySteps> minimalSteps;
    std::vector<PlaySteps> sharedSteps;
    for (int round = 0; round <= rounds; ++round) {
        std::optional<ModuleSteps> ofModule;
        std::optional<PlaySteps> ofMinimal;
        std::optional<PlaySteps> ofShared;
        for (int turn = 0; turn < 3; ++turn) {
            switch ((round + turn) % 3) {
            case 0:
                ofModule = ModuleRound(*module.info(), frame.get(), path);
                break;
            case 1:
                ofMinimal = MinimalRound(frame.get(), path, false);
                break;
            default:
                ofShared = MinimalRound(frame.get(), path, true);
                break;
            }
        }
        if (!ofModule || !ofMinimal || !ofShared) return 1;
        if (round == 0) continue;
        moduleSteps.push_back(*ofModule);
        minimalSteps.push_back(*ofMinimal);
        sharedSteps.push_back(*ofShared);
    }

    // Each phase as the sides split it, and the difference to the minimal player in each round.
    struct Phase {
        const char* what;
        std::function<double(const ModuleSteps&)> module;
        std::function<double(const PlaySteps&)> minimal;
    };
    const Phase phases[] = {
        {"open: session made, file resolved", [](auto& m) { return m.openedMs; },
         [](auto& p) { return p.resolvedMs; }},
        {"attach: panel, topology, ready, start asked", [](auto& m) { return m.attachedMs - m.openedMs; },
         [](auto& p) { return p.startAskedMs - p.resolvedMs; }},
        {"  minimal: topology made and ready", nullptr, [](auto& p) { return p.readyMs - p.resolvedMs; }},
        {"until playing: start reported (module: and handled)", [](auto& m) { return m.playingMs - m.attachedMs; },
         [](auto& p) { return p.startedMs - p.startAskedMs; }},
        {"all: from the open call until playing", [](auto& m) { return m.playingMs; },
         [](auto& p) { return p.startedMs; }},
    };
    const auto cell = [](const std::vector<double>& values) {
        if (values.empty()) return std::string("-");
        const Spread spread = SpreadOf(values);
        char text[48];
        std::snprintf(text, sizeof(text), "%.1f (%.1f-%.1f)", Median(values), spread.lowest, spread.highest);
        return std::string(text);
    };
    const auto difference = [](const std::vector<double>& values, const std::vector<double>& minimal) {
        if (values.empty()) return std::string("-");
        std::vector<double> differences;
        for (size_t i = 0; i < values.size(); ++i) differences.push_back(values[i] - minimal[i]);
        char text[16];
        std::snprintf(text, sizeof(text), "%+.1f", Median(differences));
        return std::string(text);
    };
    std::printf("\nms, median of %d rounds (lowest-highest); +: the median of each round's difference to the\n"
                "minimal player; shared: the minimal player resolving through the module's shared file stream\n",
                rounds);
    std::printf("  %-52s %-20s %-20s %-20s %6s %6s\n", "phase", "module", "minimal", "shared", "+mod", "+shared");
    for (const Phase& phase : phases) {
        std::vector<double> module;
        std::vector<double> minimal;
        std::vector<double> shared;
        for (size_t i = 0; i < moduleSteps.size(); ++i) {
            minimal.push_back(phase.minimal(minimalSteps[i]));
            shared.push_back(phase.minimal(sharedSteps[i]));
            if (phase.module) module.push_back(phase.module(moduleSteps[i]));
        }
        std::printf("  %-52s %-20s %-20s %-20s %6s %6s\n", phase.what, cell(module).c_str(), cell(minimal).c_str(),
                    cell(shared).c_str(), difference(module, minimal).c_str(), difference(shared, minimal).c_str());
    }

    // The platform stays started through the pieces, as the module keeps it.
    if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
        Fail("the platform did not start");
        return 1;
    }
    const int repeats = 2 * rounds + 1;
    const Window pane = CreatePane(frame.get(), nullptr);
    const std::vector<std::pair<const char*, std::function<bool()>>> pieces = {
        {"resolve by URL, the resolver's file stream (minimal)", [&] { return Resolve(path, false); }},
        {"resolve by the shared file in a byte stream (module)", [&] { return Resolve(path, true); }},
        {"the resolve's own thread started, in the apartment (module)", StartThread},
        {"audio device check, a device enumerator made (module)", HasAudioOutput},
        {"clock guard made, listening, detached (module)", ListenToClock},
        {"control panel made and destroyed (module)", [&] { return MakePanel(pane.get()); }},
    };
    std::printf("\nparts alone, ms, median of %d (lowest-highest), taking turns\n", repeats);
    std::vector<Timed> timed;
    for (const auto& piece : pieces) timed.push_back({piece.first, {}});
    for (int repeat = 0; repeat < repeats; ++repeat) {
        for (size_t i = 0; i < pieces.size(); ++i) {
            const Stopwatch watch;
            if (!pieces[i].second()) std::printf("  %s failed\n", pieces[i].first);
            timed[i].times.push_back(watch.Milliseconds());
            DispatchWaiting();
        }
    }
    for (const Timed& piece : timed) PrintTimed(piece);
    MFShutdown();
    return 0;
}

}  // namespace bench
