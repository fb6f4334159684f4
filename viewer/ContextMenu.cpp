#include "viewer/ExtViewMF.h"

#include "panel/UIPanel.h"
#include "player/CPlayer.h"

namespace {

enum MenuCommand : UINT_PTR {
    MENU_PLAY = 1,
    MENU_PAUSE = 2,
    MENU_STOP = 3,
    MENU_SHOW_PANEL_ALWAYS = 4,
    MENU_PROPERTIES = 5,
};

// The longest the properties report may hold the host's thread while it reads the movie's
// formats from the platform, and what the box says when that was not enough.
constexpr DWORD PROPERTIES_WAIT_MS = 1000;
constexpr wchar_t PROPERTIES_UNREADABLE[] =
    L"The movie's properties could not be read: the system did not answer within a second.";

}  // namespace

int32_t ExtViewMF::ShowContextMenu(int x, int y) {
    if (!IsWindow(hostWindow) || !player) return 0;
    popupMenu.reset(CreatePopupMenu());
    if (!popupMenu) return 0;

    const PlayerState state = player->State();
    const HMENU menu = popupMenu.get();
    if (state != PlayerState::Started) AppendMenuW(menu, MF_STRING, MENU_PLAY, L"Play");
    if (state != PlayerState::Paused) AppendMenuW(menu, MF_STRING, MENU_PAUSE, L"Pause");
    if (state != PlayerState::Stopped) AppendMenuW(menu, MF_STRING, MENU_STOP, L"Stop");
    const bool showAlways = panel && panel->showAlways;
    AppendMenuW(menu, MF_STRING | (showAlways ? MF_CHECKED : 0), MENU_SHOW_PANEL_ALWAYS, L"Show Panel Always");
    AppendMenuW(menu, MF_STRING, MENU_PROPERTIES, L"Properties");

    POINT at{x, y};
    ClientToScreen(hostWindow, &at);
    UINT_PTR command = 0;
    bool tornDown = false;
    {
        MenuTracking tracking(menuTracking);
        command = static_cast<UINT_PTR>(TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, hostWindow, nullptr));
        tornDown = tracking.TornDown();
    }
    if (tornDown) {
        DestroyMenu(menu);
        return 0;
    }
    popupMenu.reset();
    if (!player) return 0;
    switch (command) {
    case MENU_PLAY:
        Play();
        break;
    case MENU_PAUSE:
        RequestPause();
        break;
    case MENU_STOP:
        RequestStop();
        break;
    case MENU_SHOW_PANEL_ALWAYS:
        if (panel) panel->SetShowAlways(!panel->showAlways);
        break;
    case MENU_PROPERTIES:
        ShowProperties();
        break;
    default:
        break;
    }
    return 0;
}

void ExtViewMF::ShowProperties() {
    const wchar_t* report = nullptr;
    if (!player->BuildPropertiesReport(PROPERTIES_WAIT_MS, &report)) return;
    // The box copies its text: the viewer may be gone by the time the user closes it.
    MessageBoxW(player->VideoWindow(), report ? report : PROPERTIES_UNREADABLE, L"Properties", MB_OK);
}
