#include "viewer/ExtViewMF.h"

#include "common/RunsOnWine.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <evr.h>

namespace {

// The part of the frame to show, on the renderer's 0..1 scale. A video that reports no size
// is shown whole rather than divided by zero.
MFVideoNormalizedRect NormalizeSource(const RECT& source, UINT32 width, UINT32 height) {
    if (width == 0 || height == 0) return {0.0f, 0.0f, 1.0f, 1.0f};
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    return {static_cast<float>(source.left) / w, static_cast<float>(source.top) / h,
            static_cast<float>(source.right) / w, static_cast<float>(source.bottom) / h};
}

bool CentredIn(const RECT& inner, const RECT& outer) {
    const LONG horizontal = (inner.left - outer.left) - (outer.right - inner.right);
    const LONG vertical = (inner.top - outer.top) - (outer.bottom - inner.bottom);
    // A centred rectangle's margins differ by the pixel that halving an odd difference drops.
    return horizontal >= -1 && horizontal <= 1 && vertical >= -1 && vertical <= 1;
}

// Wine's renderer keeps only the destination's size: it fits the picture into a frame of that
// size and stretches the frame over the whole window. For a destination centred in the window
// the window's client area gives the picture the host asked for, with its bars around it.
RECT RendererDestination(HWND window, const RECT& destination) {
    RECT client{};
    if (!RunsOnWine() || !window || !GetClientRect(window, &client)) return destination;
    return CentredIn(destination, client) ? client : destination;
}

// Wine 10's video presenter takes a destination of a new size as a new output type and, while it
// streams, no longer hears of the frames coming back to its sample allocator: the picture stops
// at the last frame, in the old shape, until the player restarts the presenter's streaming.
bool ResizesRenderer(IMFVideoDisplayControl* display, const RECT& target) {
    MFVideoNormalizedRect source{};
    RECT current{};
    if (!RunsOnWine() || FAILED(display->GetVideoPosition(&source, &current))) return false;
    return current.right - current.left != target.right - target.left ||
           current.bottom - current.top != target.bottom - target.top;
}

bool RepaintsIn(PlayerState state) {
    return state != PlayerState::StartPending && state != PlayerState::StopPending &&
           state != PlayerState::Stopped;
}

}  // namespace

int32_t ExtViewMF::Draw(HDC dc, const RECT* source, const RECT* destination) {
    if (fileIcon) {
        DrawIconEx(dc, destination->left, destination->top, fileIcon.get(),
                   destination->right - destination->left, destination->bottom - destination->top, 0,
                   nullptr, DI_IMAGE);
    } else {
        if (!player) return -1;
        IMFVideoDisplayControl* display = player->videoDisplay.Get();
        if (display) {
            const MFVideoNormalizedRect normalized = NormalizeSource(*source, player->videoWidth, player->videoHeight);
            RECT target = RendererDestination(player->videoWindow, *destination);
            const bool resized = ResizesRenderer(display, target);
            display->SetVideoPosition(&normalized, &target);
            if (resized) player->RestartVideoStreaming();
            if (RepaintsIn(player->State())) {
                // A renderer that cannot repaint on demand still paints its frames by itself.
                const HRESULT hr = display->RepaintVideo();
                if (FAILED(hr) && hr != E_NOTIMPL) return -1;
            }
        }
    }

    if (panel && panel->playButton) {
        RECT client{};
        GetClientRect(panel->parentWindow, &client);
        const int h = panel->barHeight;
        const int y = client.bottom - h;
        MoveWindow(panel->playButton, client.left, y, h, h, TRUE);
        MoveWindow(panel->stopButton, client.left + h, y, h, h, TRUE);
        MoveWindow(panel->seekBar, client.left + 2 * h, y, client.right - client.left - 2 * h, h, TRUE);
    }
    return 0;
}
