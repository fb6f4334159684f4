#pragma once
// The host the runs play in: a frame with a grid of panes, each forwarding its messages to the
// viewer shown in it, and the viewers, every entry point of which is timed.

#include "host/support/HostedViewer.h"
#include "module/ExtViewModuleInfo.h"
#include "player/PlayerState.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What another thread sends the frame to run Host::onProbe.
constexpr UINT WM_PROBE = WM_APP + 100;

// The module every Viewer drives; set once, before the first viewer.
void UseModule(const ExtViewModuleInfo& module);
// Sessions that the module's attach started, to be matched by as many direct sessions.
int SessionsAttached();

class Viewer;

struct Pane {
    HWND window = nullptr;
    Viewer* viewer = nullptr;
};

// A timer of the host's own runs a script step on each tick, also inside the modal loops of
// the module's menu and boxes, which dispatch the host's messages.
class Host {
public:
    Host(int columns, int rows, int paneWidth, int paneHeight);
    ~Host() { DestroyWindow(frame_); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    Pane& pane(size_t index) { return *panes_[index]; }
    size_t paneCount() const { return panes_.size(); }
    HWND frame() const { return frame_; }

    // Runs step on every tick until it returns true.
    void Every(std::function<bool()> step);
    void StopScript();

    // Runs whenever another thread sends WM_PROBE to the frame.
    std::function<void()> onProbe;

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnScriptTick();

    HWND frame_ = nullptr;
    std::vector<std::unique_ptr<Pane>> panes_;
    std::function<bool()> step_;
    bool inStep_ = false;
};

class Viewer {
public:
    explicit Viewer(Pane& pane);
    ~Viewer() { Destroy(); }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    bool Open(const std::wstring& path);
    bool Attach();
    // As a host does, the pane stops forwarding before the viewer goes. Returns how long the
    // destroy took.
    ULONGLONG Destroy();
    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam);
    void Draw(HDC dc, const RECT& source, const RECT& destination);

    // The host's own question: a viewer that reports a position is playing (or has stopped).
    bool ReportsPosition();
    // Read through the viewer's own header, only to confirm that a teardown happened in the
    // state it was aimed at; the host never needs it.
    PlayerState State() const;
    void Click(int buttonId);

    Pane& pane() { return pane_; }

private:
    Pane& pane_;
    HostedViewer viewer_;
};
