// moviepane-view: a small host that shows one movie through moviepane.dll, the way a file
// manager's viewer pane does. It doubles as the project's demo and screenshot tool:
//
//   moviepane-view.exe FILE|--list FOLDER [--shot OUT.png|OUT.bmp --after MS] [--exit-after MS]
//                      [--unattended]
//
// --list plays every .mp4 and .mov of FOLDER in name order, one after another; Space or the
// Right key moves on, and so does a movie's end or its Stop button. With --shot each file is
// shown for MS and shot to OUT-1.png, OUT-2.png and so on; the last one ends the program.
// --unattended writes every box of the program, the module's included, to stderr and closes it.
//
// Exit codes: 0 normal end or screenshot saved, 1 the module could not open or attach a file,
// 2 bad command line, no movie in FOLDER or no usable moviepane.dll, 3 a screenshot could not
// be saved.

#include "common/ComApartment.h"
#include "host/App.h"
#include "host/CommandLine.h"
#include "host/FrameAndPane.h"
#include "host/MovieList.h"
#include "host/support/BoxWatcher.h"
#include "host/support/LoadedModule.h"

#include <windows.h>

#include <cstdio>
#include <optional>

namespace {

int Fail(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"moviepane-view", MB_OK | MB_ICONERROR);
    return demo::EXIT_SETUP_FAILED;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    std::optional<BoxWatcher> reader;
    if (demo::RunsUnattended()) {
        reader.emplace(nullptr, [](const SeenBox& box) {
            std::fwprintf(stderr, L"%ls: %ls\n", box.caption.c_str(), box.text.c_str());
            std::fflush(stderr);
        });
    }
    const std::optional<demo::Options> options = demo::ParseCommandLine();
    if (!options) return Fail(demo::USAGE);
    if (options->files.empty()) return Fail(L"The folder holds no .mp4 or .mov file.");

    const ComApartment com;
    const LoadedModule module;
    if (!module.info()) return Fail(L"moviepane.dll is missing beside this program or is not a viewer module.");

    demo::App app;
    app.options = *options;
    app.module = module.info();
    app.showCommand = show;
    if (!demo::CreateWindows(instance, app)) return Fail(L"The viewer window could not be created.");

    // Open shows its own error box when it fails.
    if (!demo::ShowFromCurrent(app)) return demo::EXIT_OPEN_FAILED;
    SetTimer(app.frame.get(), demo::TITLE_TIMER_ID, demo::TITLE_PERIOD_MS, nullptr);
    if (app.options.exitAfterMs) {
        SetTimer(app.frame.get(), demo::EXIT_TIMER_ID, *app.options.exitAfterMs, nullptr);
    }

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Whichever window has the focus, the pane's buttons included.
        if (app.options.list && demo::IsNextKey(message)) {
            demo::ShowNext(app);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
