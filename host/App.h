#pragma once
// What the parts of the demo host share: the state of the one run, the frame's timers and the
// exit codes.

#include "common/Owned.h"
#include "host/CommandLine.h"
#include "host/support/HostedViewer.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <memory>

namespace demo {

constexpr UINT_PTR TITLE_TIMER_ID = 1;
constexpr UINT_PTR SHOT_TIMER_ID = 2;
constexpr UINT_PTR EXIT_TIMER_ID = 3;
constexpr UINT TITLE_PERIOD_MS = 250;

constexpr int EXIT_OPEN_FAILED = 1;
constexpr int EXIT_SETUP_FAILED = 2;
constexpr int EXIT_SHOT_FAILED = 3;

using Window = Owned<HWND, DestroyWindow>;

struct App {
    Options options;
    const ExtViewModuleInfo* module = nullptr;
    int showCommand = SW_SHOWNORMAL;
    size_t current = 0;
    int stoppedReads = 0;
    int exitCode = 0;
    Window frame;
    HWND pane = nullptr;
    // Declared after the frame so that it goes first: the module's teardown needs its window.
    std::unique_ptr<HostedViewer> viewer;
};

}  // namespace demo
