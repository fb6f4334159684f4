#include "viewer/ExtViewMF.h"

#include "common/HostMessages.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <commctrl.h>
#include <shellapi.h>

#include <new>

int32_t ExtViewMF::Attach(HWND window) {
    // An open that failed after making its player left no source to play, or no path.
    if (!player || !player->HasSource() || !filePath) return -1;

    panel.reset(new (std::nothrow) UIPanel);
    if (!panel) return -1;
    panel->Create(window);
    if (hostWindow) return -1;

    if (FAILED(player->Attach(window, movieFacts.video, openWaitLimitMs))) return -1;
    hostWindow = window;

    if (player->HasVideoDisplay()) {
        imageWidth = static_cast<int32_t>(player->VideoWidth() & IMAGE_SIDE_BITS);
        imageHeight = static_cast<int32_t>(player->VideoHeight() & IMAGE_SIDE_BITS);
        panel->SetShowAlways(false);
    } else {
        imageWidth = 1;
        imageHeight = 1;
        TakeIconSize();
        panel->SetShowAlways(true);
    }

    LONGLONG position = 0;
    player->PositionIn(player->State(), &position);
    seekScaleDuration = player->Duration();
    SendMessageW(panel->seekBar, PBM_SETRANGE, 0, MAKELPARAM(0, SEEK_BAR_MAX));
    SetSeekBarPosition(position);
    SetTimer(hostWindow, REFRESH_TIMER_ID, REFRESH_PERIOD_MS, nullptr);
    SetPlayCaption(L"||");
    return 0;
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
