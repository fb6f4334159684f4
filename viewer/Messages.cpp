#include "viewer/ExtViewMF.h"

#include "common/HostMessages.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "quirks/PlatformQuirks.h"

#include <commctrl.h>

namespace {

int32_t ToMilliseconds(int64_t hundredNanoseconds) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(hundredNanoseconds / 10000)));
}

}  // namespace

int32_t ExtViewMF::HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        return OnCommand(wParam);
    case WM_TIMER:
        return wParam == REFRESH_TIMER_ID ? OnRefreshTimer() : MESSAGE_HANDLED;
    case WM_HSCROLL:
        return OnSeekBar(wParam, lParam);
    case WM_RBUTTONDOWN:
        return ShowContextMenu(LOWORD(lParam), HIWORD(lParam));
    case WM_EXTVIEW_GET_IMAGE_SIZE:
    case WM_EXTVIEW_GET_IMAGE_SIZE2: {
        auto* size = reinterpret_cast<int32_t*>(wParam);
        size[0] = imageWidth;
        size[1] = imageHeight;
        return MESSAGE_HANDLED;
    }
    case WM_EXTVIEW_GET_BIT_DEPTH:
        *reinterpret_cast<int32_t*>(wParam) = bitsPerPixel;
        return MESSAGE_HANDLED;
    case WM_EXTVIEW_GET_DURATION:
        if (!player) return REQUEST_FAILED;
        *reinterpret_cast<int32_t*>(wParam) = ToMilliseconds(player->Duration());
        return MESSAGE_HANDLED;
    case WM_EXTVIEW_GET_POSITION:
        return OnGetPosition(wParam);
    case WM_EXTVIEW_HIDE_PANEL:
        return OnHidePanel(wParam);
    case WM_EXTVIEW_ADJUST_VIEW_RECT:
        if (panel && panel->showAlways && panel->playButton && IsWindowVisible(panel->playButton))
            reinterpret_cast<RECT*>(wParam)->bottom -= panel->barHeight;
        return MESSAGE_HANDLED;
    case WM_PLAYER_EVENT: {
        auto* event = reinterpret_cast<IMFMediaEvent*>(wParam);
        if (player) {
            player->HandleEvent(event);
        } else if (event) {
            event->Release();
        }
        return MESSAGE_HANDLED;
    }
    default:
        return MESSAGE_NOT_HANDLED;
    }
}

int32_t ExtViewMF::OnCommand(WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) return MESSAGE_HANDLED;
    switch (LOWORD(wParam)) {
    case PLAY_BUTTON_ID: {
        SetFocus(hostWindow);
        if (!player) return REQUEST_FAILED;
        const PlayerState state = player->State();
        if (state == PlayerState::Paused || state == PlayerState::Stopped) return Play();
        return RequestPause();
    }
    case STOP_BUTTON_ID:
        SetFocus(hostWindow);
        return RequestStop();
    default:
        return MESSAGE_HANDLED;
    }
}

int32_t ExtViewMF::RequestPause() {
    if (!player || FAILED(player->RequestPause())) return REQUEST_FAILED;
    SetPlayCaption(L">");
    return MESSAGE_HANDLED;
}

int32_t ExtViewMF::RequestStop() {
    if (!player || FAILED(player->RequestStop())) return REQUEST_FAILED;
    SetPlayCaption(L">");
    return MESSAGE_HANDLED;
}

int32_t ExtViewMF::Play() {
    if (!player || FAILED(player->RequestPlay())) return REQUEST_FAILED;
    SetPlayCaption(L"||");
    return MESSAGE_HANDLED;
}

int32_t ExtViewMF::SeekTo(int64_t position) {
    if (!player) return REQUEST_FAILED;
    if (FAILED(player->SetPosition(position))) return REQUEST_FAILED;
    SetSeekBarPosition(position);
    return MESSAGE_HANDLED;
}

int32_t ExtViewMF::OnSeekBar(WPARAM wParam, LPARAM lParam) {
    const HWND bar = GetDlgItem(hostWindow, SEEK_BAR_ID);
    if (!lParam || reinterpret_cast<HWND>(lParam) != bar) return MESSAGE_HANDLED;
    SetFocus(hostWindow);

    switch (LOWORD(wParam)) {
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
        if (!player) return REQUEST_FAILED;
        const PlayerState state = player->State();
        if (state == PlayerState::Started) {
            if (FAILED(player->RequestPause())) return REQUEST_FAILED;
            resumeAfterDrag = true;
        } else if (state == PlayerState::Stopped && Play() != 0) {
            return REQUEST_FAILED;
        }
        return SeekTo(static_cast<int64_t>(HIWORD(wParam)) * seekScaleDuration / SEEK_BAR_MAX);
    }
    case SB_ENDSCROLL:
        if (resumeAfterDrag) {
            if (player && player->State() != PlayerState::Stopped) Play();
            resumeAfterDrag = false;
        }
        return MESSAGE_HANDLED;
    default: {
        const auto value = static_cast<int64_t>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        return SeekTo(value * seekScaleDuration / SEEK_BAR_MAX);
    }
    }
}

int32_t ExtViewMF::OnRefreshTimer() {
    if (!player || !panel) return OWN_TIMER_TICK;
    player->EndOverdueStop(GetTickCount64());
    const PlayerState state = player->State();
    LONGLONG position = 0;
    const bool known = player->PositionIn(state, &position);
    if (known && state == PlayerState::Started) player->EndOverduePresentation(position);
    if (known) SetSeekBarPosition(PlatformQuirks::WithinDuration(position, player->Duration()));
    if (state == PlayerState::Stopped) SetPlayCaption(L">");
    return OWN_TIMER_TICK;
}

int32_t ExtViewMF::OnGetPosition(WPARAM wParam) {
    if (!player) return REQUEST_FAILED;
    LONGLONG position = 0;
    if (!player->PositionIn(player->State(), &position)) return REQUEST_FAILED;
    *reinterpret_cast<int32_t*>(wParam) = ToMilliseconds(PlatformQuirks::WithinDuration(position, player->Duration()));
    return MESSAGE_HANDLED;
}

int32_t ExtViewMF::OnHidePanel(WPARAM wParam) {
    if (!panel) return MESSAGE_HANDLED;
    const bool hide = wParam == 1;
    if (hide) {
        if (panel->showAlways || (panel->seekBar && GetCapture() == panel->seekBar)) return HIDE_DECLINED;
        POINT cursor{};
        GetCursorPos(&cursor);
        for (HWND control : {panel->playButton, panel->stopButton, panel->seekBar}) {
            RECT bounds{};
            if (!control || !IsWindowVisible(control)) continue;
            if (GetWindowRect(control, &bounds) && PtInRect(&bounds, cursor)) return HIDE_DECLINED;
        }
    }
    for (HWND control : {panel->playButton, panel->stopButton, panel->seekBar})
        ShowWindow(control, hide ? SW_HIDE : SW_SHOW);
    PostMessageW(hostWindow, WM_EXTVIEW_HOST_NOTIFY, EXTVIEW_NOTIFY_PANEL_VISIBILITY, 0);
    return MESSAGE_HANDLED;
}

void ExtViewMF::SetSeekBarPosition(int64_t position) {
    if (!panel || seekScaleDuration <= 0) return;
    const int64_t value = position * SEEK_BAR_MAX / seekScaleDuration;
    SendMessageW(panel->seekBar, PBM_SETPOS, static_cast<WPARAM>(static_cast<uint32_t>(value)), 0);
}

void ExtViewMF::SetPlayCaption(const wchar_t* caption) {
    if (panel) SetWindowTextW(panel->playButton, caption);
}
