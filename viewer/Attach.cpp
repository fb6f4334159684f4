#include "viewer/ExtViewMF.h"

#include "common/HostMessages.h"
#include "common/SentMessages.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "player/Topology.h"

#include <commctrl.h>
#include <mfapi.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <new>

using Microsoft::WRL::ComPtr;

int32_t ExtViewMF::Attach(HWND window) {
    // An open that failed after making its player left no source to play, or no path.
    if (!player || !player->source || !filePath) return -1;

    panel.reset(new (std::nothrow) UIPanel);
    if (!panel) return -1;
    panel->Create(window);
    if (hostWindow) return -1;

    player->videoWindow = window;
    player->fileVideo = movieFacts.video;
    if (FAILED(player->BeginFirstPresentation())) {
        player->SetState(PlayerState::Closed);
        return -1;
    }
    if (!WaitWhileOpening()) return -1;

    player->eventWindow.store(window, std::memory_order_release);
    hostWindow = window;

    if (player->videoDisplay) {
        imageWidth = static_cast<int32_t>(player->videoWidth & IMAGE_SIDE_BITS);
        imageHeight = static_cast<int32_t>(player->videoHeight & IMAGE_SIDE_BITS);
        panel->SetShowAlways(false);
    } else {
        imageWidth = 1;
        imageHeight = 1;
        TakeIconSize();
        panel->SetShowAlways(true);
    }

    LONGLONG position = 0;
    player->PositionIn(player->State(), &position);
    seekScaleDuration = player->duration;
    SendMessageW(panel->seekBar, PBM_SETRANGE, 0, MAKELPARAM(0, SEEK_BAR_MAX));
    SetSeekBarPosition(position);
    SetTimer(hostWindow, REFRESH_TIMER_ID, REFRESH_PERIOD_MS, nullptr);
    SetPlayCaption(L"||");
    return 0;
}

// Sleeps until the session has reported on the topology. A session that never reports is given
// up: the player is left closing, so no late event can act on it.
bool ExtViewMF::WaitWhileOpening() {
    HANDLE changed = player->StateChangedEvent();
    const ULONGLONG deadline = GetTickCount64() + openWaitLimitMs;
    while (player->State() == PlayerState::OpenPending) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return !player->FailOpening();
        const DWORD remaining = static_cast<DWORD>(deadline - now);
        WaitLettingSentMessagesThrough(changed, changed ? remaining : std::min<DWORD>(remaining, REFRESH_PERIOD_MS));
    }
    return true;
}

// A file without video is shown as its shell icon, and reports the icon's size and depth.
void ExtViewMF::TakeIconSize() {
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(filePath.get(), 0, &info, sizeof(info), SHGFI_ICON) || !info.hIcon) return;
    OwnedIcon icon(info.hIcon);
    ICONINFO parts{};
    if (!GetIconInfo(icon.get(), &parts)) return;
    OwnedGdiObject colour(parts.hbmColor);
    OwnedGdiObject mask(parts.hbmMask);

    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    const HDC screen = GetDC(nullptr);
    const int described = GetDIBits(screen, parts.hbmColor, 0, 0, nullptr, &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (!described) return;
    imageWidth = header.bmiHeader.biWidth;
    imageHeight = header.bmiHeader.biHeight;
    bitsPerPixel = header.bmiHeader.biBitCount;
    fileIcon = std::move(icon);
}
