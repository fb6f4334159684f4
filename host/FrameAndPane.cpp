#include "host/FrameAndPane.h"

#include "host/MovieList.h"
#include "host/support/HostWindows.h"
#include "module/ExtViewModuleInfo.h"

#include <cstdint>

namespace demo {

namespace {

constexpr int INITIAL_CLIENT_WIDTH = 800;
constexpr int INITIAL_CLIENT_HEIGHT = 480;

constexpr wchar_t FRAME_CLASS[] = L"MoviepaneViewFrame";
constexpr wchar_t PANE_CLASS[] = L"MoviepaneViewPane";

// The largest rectangle of the image's aspect ratio that fits in area, centred.
RECT FitInto(const RECT& area, int32_t imageWidth, int32_t imageHeight) {
    const int64_t areaWidth = area.right - area.left;
    const int64_t areaHeight = area.bottom - area.top;
    int64_t width = areaWidth;
    int64_t height = areaHeight;
    if (areaWidth * imageHeight > areaHeight * imageWidth) {
        width = areaHeight * imageWidth / imageHeight;
    } else {
        height = areaWidth * imageHeight / imageWidth;
    }
    const LONG left = area.left + static_cast<LONG>((areaWidth - width) / 2);
    const LONG top = area.top + static_cast<LONG>((areaHeight - height) / 2);
    return {left, top, left + static_cast<LONG>(width), top + static_cast<LONG>(height)};
}

void PaintPane(App& app) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(app.pane, &paint);
    RECT client{};
    GetClientRect(app.pane, &client);
    RECT view = client;
    int32_t size[2] = {0, 0};
    if (app.viewer) {
        app.viewer->Message(WM_EXTVIEW_ADJUST_VIEW_RECT, reinterpret_cast<WPARAM>(&view), 0);
        app.viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
    }
    const bool hasImage = size[0] > 0 && size[1] > 0;
    const RECT picture = hasImage ? FitInto(view, size[0], size[1]) : RECT{};

    // Only the bars are ours: the video renderer paints the picture itself, and painting over
    // it would blank a paused frame until the renderer next presents one.
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, picture.left, picture.top, picture.right, picture.bottom);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);

    if (hasImage) app.viewer->Draw(dc, RECT{0, 0, size[0], size[1]}, picture);
    EndPaint(app.pane, &paint);
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    App* app = OwnerOf<App>(pane, message, lParam);
    // The module sees every message of its window; 1 means that it left the message to us.
    const int32_t result = app && app->viewer ? app->viewer->Message(message, wParam, lParam) : 1;
    switch (message) {
    case WM_PAINT:
        if (!app) break;
        PaintPane(*app);
        return 0;
    case WM_EXTVIEW_HOST_NOTIFY:
        InvalidateRect(pane, nullptr, FALSE);
        return 0;
    }
    return result == 1 ? DefWindowProcW(pane, message, wParam, lParam) : 0;
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    App* app = OwnerOf<App>(frame, message, lParam);
    if (!app) return DefWindowProcW(frame, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        if (app->pane) MoveWindow(app->pane, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_TIMER:
        OnFrameTimer(*app, wParam);
        return 0;
    case WM_CLOSE:
        // The viewer goes while its pane still exists.
        app->viewer.reset();
        app->frame.reset();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(app->exitCode);
        return 0;
    }
    return DefWindowProcW(frame, message, wParam, lParam);
}

}  // namespace

bool CreateWindows(HINSTANCE instance, App& app) {
    // No background brush: the pane paints every pixel, bars included.
    if (!RegisterWindowClass(FRAME_CLASS, FrameProc) ||
        !RegisterWindowClass(PANE_CLASS, PaneProc, nullptr, CS_HREDRAW | CS_VREDRAW)) {
        return false;
    }

    const DWORD frameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT bounds{0, 0, INITIAL_CLIENT_WIDTH, INITIAL_CLIENT_HEIGHT};
    AdjustWindowRectEx(&bounds, frameStyle, FALSE, 0);
    app.frame.reset(CreateWindowExW(0, FRAME_CLASS, FileNameOf(app.options.files.front()).c_str(), frameStyle,
                                    CW_USEDEFAULT, CW_USEDEFAULT, bounds.right - bounds.left,
                                    bounds.bottom - bounds.top, nullptr, nullptr, instance, &app));
    if (!app.frame) return false;
    RECT client{};
    GetClientRect(app.frame.get(), &client);
    app.pane = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                               0, 0, client.right, client.bottom, app.frame.get(), nullptr, instance, &app);
    return app.pane != nullptr;
}

}  // namespace demo
