#include "host/MovieList.h"

#include "host/PaneShot.h"
#include "module/ExtViewModuleInfo.h"

#include <shlwapi.h>

#include <cstdint>
#include <cwchar>
#include <memory>

namespace demo {

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L"\\/:") + 1);
}

namespace {

// A stopped movie reads as position 0 where a playing one moves on: this many such reads in a
// row, a title period apart, mean that the movie has ended.
constexpr int STOPPED_READS = 2;

std::wstring FormatMilliseconds(uint32_t ms) {
    const uint32_t seconds = ms / 1000;
    wchar_t text[32];
    if (seconds >= 3600) {
        std::swprintf(text, 32, L"%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::swprintf(text, 32, L"%u:%02u", seconds / 60, seconds % 60);
    }
    return text;
}

// Counts the reads of a stopped movie, for the list to move on.
void UpdateTitle(App& app) {
    if (!app.viewer) return;
    int32_t size[2] = {0, 0};
    int32_t duration = 0;
    int32_t position = 0;
    app.viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
    const bool hasDuration =
        app.viewer->Message(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&duration), 0) == 0;
    const bool hasPosition =
        app.viewer->Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0;
    app.stoppedReads = hasPosition && position == 0 ? app.stoppedReads + 1 : 0;
    const std::wstring unknown = L"--:--";
    const std::wstring place = app.options.list ? L" (" + std::to_wstring(app.current + 1) + L"/" +
                                                      std::to_wstring(app.options.files.size()) + L")"
                                                : L"";
    // The module reports milliseconds in 32 bits; read them unsigned so long files stay positive.
    const std::wstring title =
        FileNameOf(app.options.files[app.current]) + place + L"  " + std::to_wstring(size[0]) + L"\x00D7" +
        std::to_wstring(size[1]) + L"  " +
        (hasPosition ? FormatMilliseconds(static_cast<uint32_t>(position)) : unknown) + L" / " +
        (hasDuration ? FormatMilliseconds(static_cast<uint32_t>(duration)) : unknown) +
        L" - moviepane";
    SetWindowTextW(app.frame.get(), title.c_str());
}

// In a list, OUT.png becomes OUT-1.png, OUT-2.png and so on.
std::wstring ShotPath(const App& app) {
    const std::wstring& path = app.options.shotPath;
    if (!app.options.list) return path;
    const size_t cut = PathFindExtensionW(path.c_str()) - path.c_str();
    return path.substr(0, cut) + L"-" + std::to_wstring(app.current + 1) + path.substr(cut);
}

// The new viewer is the app's once its file is open: the module's error box pumps messages,
// and the timers must not find a viewer in the middle of its open.
bool ShowFile(App& app) {
    app.viewer.reset();
    app.stoppedReads = 0;
    auto viewer = std::make_unique<HostedViewer>(*app.module);
    if (!viewer->Create() || !viewer->Open(app.options.files[app.current])) return false;
    app.viewer = std::move(viewer);
    if (!IsWindowVisible(app.frame.get())) {
        ShowWindow(app.frame.get(), app.showCommand);
        UpdateWindow(app.frame.get());
    }
    if (!app.viewer->Attach(app.pane)) {
        app.viewer.reset();
        return false;
    }
    InvalidateRect(app.pane, nullptr, FALSE);
    UpdateTitle(app);
    if (!app.options.shotPath.empty()) SetTimer(app.frame.get(), SHOT_TIMER_ID, app.options.shotAfterMs, nullptr);
    return true;
}

}  // namespace

bool ShowFromCurrent(App& app) {
    for (; app.current < app.options.files.size() && app.frame; ++app.current) {
        if (ShowFile(app)) return true;
        if (app.exitCode == 0) app.exitCode = EXIT_OPEN_FAILED;
    }
    return false;
}

void ShowNext(App& app) {
    ++app.current;
    if (!ShowFromCurrent(app) && app.frame) PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
}

bool IsNextKey(const MSG& message) {
    const bool repeated = (message.lParam & (1 << 30)) != 0;
    return message.message == WM_KEYDOWN && !repeated && (message.wParam == VK_SPACE || message.wParam == VK_RIGHT);
}

void OnFrameTimer(App& app, UINT_PTR id) {
    switch (id) {
    case TITLE_TIMER_ID:
        UpdateTitle(app);
        // With shots, each file stays until its shot.
        if (app.options.list && app.options.shotPath.empty() && app.stoppedReads >= STOPPED_READS) ShowNext(app);
        break;
    case SHOT_TIMER_ID:
        KillTimer(app.frame.get(), id);
        if (!SavePaneShot(app.pane, ShotPath(app))) app.exitCode = EXIT_SHOT_FAILED;
        if (app.options.list) {
            ShowNext(app);
        } else {
            PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
        }
        break;
    case EXIT_TIMER_ID:
        KillTimer(app.frame.get(), id);
        PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
        break;
    }
}

}  // namespace demo
