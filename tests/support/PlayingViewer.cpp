#include "PlayingViewer.h"

#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <commctrl.h>

PlayingViewer::PlayingViewer(int clientWidth, int clientHeight) : host(clientWidth, clientHeight) {
    host.SetViewer(&viewer);
}

bool PlayingViewer::Attach(const wchar_t* media) {
    if (viewer.Open(MediaPath(media).c_str()) != 0) return false;
    return viewer.Attach(host.pane()) == 0;
}

bool PlayingViewer::WaitForState(PlayerState state, DWORD timeoutMs) {
    return PumpUntil([&] { return State() == state; }, timeoutMs);
}

PlayerState PlayingViewer::State() const {
    return viewer.player ? viewer.player->State() : PlayerState::Closed;
}

HWND PlayingViewer::PlayButton() const { return viewer.panel ? viewer.panel->playButton : nullptr; }
HWND PlayingViewer::StopButton() const { return viewer.panel ? viewer.panel->stopButton : nullptr; }
HWND PlayingViewer::SeekBar() const { return viewer.panel ? viewer.panel->seekBar : nullptr; }

std::wstring PlayingViewer::PlayCaption() const { return WindowText(PlayButton()); }

int PlayingViewer::SeekBarPosition() const {
    return static_cast<int>(SendMessageW(SeekBar(), PBM_GETPOS, 0, 0));
}

int32_t PlayingViewer::QueryPosition(int32_t* milliseconds) {
    return viewer.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(milliseconds), 0);
}
