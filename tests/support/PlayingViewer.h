#pragma once
// A viewer that plays a test movie in its own host window, driven the way a host drives it,
// and the small readers the playback tests share.

#include "TestSupport.h"

#include "player/PlayerState.h"
#include "viewer/ExtViewMF.h"

#include <windows.h>

#include <string>

class PlayingViewer {
public:
    explicit PlayingViewer(int clientWidth = 640, int clientHeight = 480);
    PlayingViewer(const PlayingViewer&) = delete;
    PlayingViewer& operator=(const PlayingViewer&) = delete;

    // Opens and attaches the movie from the media folder; true when both succeeded.
    bool Attach(const wchar_t* media);
    // Pumps the host's messages until the player is in state.
    bool WaitForState(PlayerState state, DWORD timeoutMs = 20000);
    PlayerState State() const;

    HWND PlayButton() const;
    HWND StopButton() const;
    HWND SeekBar() const;
    std::wstring PlayCaption() const;
    int SeekBarPosition() const;
    // The host's position query; milliseconds is written only when the result is 0.
    int32_t QueryPosition(int32_t* milliseconds);

    // Declared before the viewer, so that the viewer's teardown still finds its window.
    HostWindow host;
    ExtViewMF viewer;
};

