#include "HostFrame.h"

#include "EntryPoints.h"

#include "host/support/HostWindows.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

namespace {

constexpr UINT_PTR SCRIPT_TIMER_ID = 1;
constexpr UINT SCRIPT_PERIOD_MS = 50;
constexpr wchar_t FRAME_CLASS[] = L"MoviepaneEnduranceFrame";
constexpr wchar_t PANE_CLASS[] = L"MoviepaneEndurancePane";

const ExtViewModuleInfo* hostedModule = nullptr;
int sessionsAttached = 0;

}  // namespace

void UseModule(const ExtViewModuleInfo& module) { hostedModule = &module; }

int SessionsAttached() { return sessionsAttached; }

Host::Host(int columns, int rows, int paneWidth, int paneHeight) {
    static const bool registered = [] {
        const auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        return RegisterWindowClass(FRAME_CLASS, FrameProc, black) && RegisterWindowClass(PANE_CLASS, PaneProc, black);
    }();
    Check(registered, "window classes not registered");

    frame_ = CreateFrame(FRAME_CLASS, L"moviepane endurance", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                         columns * paneWidth, rows * paneHeight, this);
    Check(frame_ != nullptr, "host frame not created");
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            auto pane = std::make_unique<Pane>();
            pane->window = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                           column * paneWidth, row * paneHeight, paneWidth, paneHeight, frame_,
                                           nullptr, GetModuleHandleW(nullptr), pane.get());
            Check(pane->window != nullptr, "host pane not created");
            panes_.push_back(std::move(pane));
        }
    }
    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
}

void Host::Every(std::function<bool()> step) {
    step_ = std::move(step);
    SetTimer(frame_, SCRIPT_TIMER_ID, SCRIPT_PERIOD_MS, nullptr);
}

void Host::StopScript() {
    KillTimer(frame_, SCRIPT_TIMER_ID);
    step_ = nullptr;
}

LRESULT CALLBACK Host::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Host* host = OwnerOf<Host>(window, message, lParam);
    if (host && message == WM_TIMER && wParam == SCRIPT_TIMER_ID) {
        host->OnScriptTick();
        return 0;
    }
    if (host && message == WM_PROBE) {
        if (host->onProbe) host->onProbe();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A step may pump (an open's platform calls can), so a tick that arrives meanwhile is skipped.
void Host::OnScriptTick() {
    if (inStep_ || !step_) return;
    inStep_ = true;
    const bool done = step_();
    inStep_ = false;
    if (done) StopScript();
}

LRESULT CALLBACK Host::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Pane* pane = OwnerOf<Pane>(window, message, lParam);
    // The viewer may be destroyed while it handles this message (from a modal loop inside it):
    // nothing of it is used after the call.
    Viewer* viewer = pane ? pane->viewer : nullptr;
    const int32_t result = viewer ? viewer->Message(message, wParam, lParam) : 1;
    if (message == WM_PAINT && pane) {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(window, &paint);
        int32_t size[2] = {0, 0};
        if (pane->viewer) pane->viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
        RECT client{};
        GetClientRect(window, &client);
        if (pane->viewer && size[0] > 0 && size[1] > 0) pane->viewer->Draw(dc, RECT{0, 0, size[0], size[1]}, client);
        EndPaint(window, &paint);
        return 0;
    }
    return result == 1 ? DefWindowProcW(window, message, wParam, lParam) : 0;
}

Viewer::Viewer(Pane& pane) : pane_(pane), viewer_(*hostedModule) {
    bool created = false;
    Timed("create", [&] { created = viewer_.Create(); });
    Check(created, "create returned no viewer");
    pane_.viewer = this;
}

bool Viewer::Open(const std::wstring& path) {
    bool opened = false;
    Timed("open", [&] { opened = viewer_.Open(path); });
    return opened;
}

bool Viewer::Attach() {
    bool attached = false;
    Timed("attach", [&] { attached = viewer_.Attach(pane_.window); });
    if (attached) ++sessionsAttached;
    return attached;
}

ULONGLONG Viewer::Destroy() {
    if (!viewer_.handle()) return 0;
    pane_.viewer = nullptr;
    return Timed("destroy", [&] { viewer_.Destroy(); });
}

int32_t Viewer::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    int32_t result = 1;
    Timed("message", [&] { result = viewer_.Message(message, wParam, lParam); });
    return result;
}

void Viewer::Draw(HDC dc, const RECT& source, const RECT& destination) {
    Timed("draw", [&] { viewer_.Draw(dc, source, destination); });
}

bool Viewer::ReportsPosition() {
    int32_t position = 0;
    return Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0;
}

PlayerState Viewer::State() const {
    const auto* viewer = static_cast<const ExtViewMF*>(viewer_.handle());
    return viewer && viewer->player ? viewer->player->State() : PlayerState::Closed;
}

void Viewer::Click(int buttonId) {
    const HWND button = GetDlgItem(pane_.window, buttonId);
    SendMessageW(pane_.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}
