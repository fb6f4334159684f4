#pragma once
// The control strip along the bottom of the host window: play/pause, stop and a seek bar.

#include "common/Owned.h"

#include <windows.h>

constexpr int PLAY_BUTTON_ID = 1;
constexpr int STOP_BUTTON_ID = 2;
constexpr int SEEK_BAR_ID = 3;
constexpr int SEEK_BAR_MAX = 65535;

class UIPanel {
public:
    UIPanel() = default;
    UIPanel(const UIPanel&) = delete;
    UIPanel& operator=(const UIPanel&) = delete;
    virtual ~UIPanel();

    void Create(HWND parent);
    // Always shown and opaque, or translucent and shown and hidden on request.
    void SetShowAlways(bool shown);

    HWND parentWindow = nullptr;
    HWND playButton = nullptr;
    HWND stopButton = nullptr;
    HWND seekBar = nullptr;
    OwnedFont font;
    int barHeight = 0;
    bool showAlways = false;
};

// The progress bar's own window procedure, saved when a seek bar is subclassed.
extern WNDPROC seekBarBaseProc;

// Turns presses and drags on the seek bar into WM_HSCROLL notifications to its parent.
LRESULT CALLBACK SeekBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
