#pragma once
// The demo host's movies, one after another: each shown in the pane, the frame's title with its
// place, position and duration, and the moves to the next one at a key, at a movie's end or
// after its screenshot.

#include "host/App.h"

#include <windows.h>

#include <string>

namespace demo {

// The path's last part: the file's name.
std::wstring FileNameOf(const std::wstring& path);

// Shows the first file from the current one on that opens; false when none does.
bool ShowFromCurrent(App& app);

// Moves to the next file that opens; closes the frame when none is left.
void ShowNext(App& app);

// Space or the Right key, pressed and not held: in a list they move to the next movie.
bool IsNextKey(const MSG& message);

// The frame's timers: the title's, the screenshot's and the one that ends the run.
void OnFrameTimer(App& app, UINT_PTR id);

}  // namespace demo
