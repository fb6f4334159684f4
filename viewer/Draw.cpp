#include "viewer/ExtViewMF.h"

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
        if (player->HasVideoDisplay()) {
            const MFVideoNormalizedRect normalized =
                NormalizeSource(*source, player->VideoWidth(), player->VideoHeight());
            player->PlaceVideo(normalized, *destination);
            if (RepaintsIn(player->State())) {
                // A renderer that cannot repaint on demand still paints its frames by itself.
                const HRESULT hr = player->RepaintVideo();
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
