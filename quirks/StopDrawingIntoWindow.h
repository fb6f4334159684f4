#pragma once
// The video renderer's last drawing into the host's window, before the host may destroy it.

#include <evr.h>

// Stops the presenter behind display from drawing into its window and waits, at most
// DRAWING_FINISH_WAIT_MS, for the drawing it has already queued. Wine only: PlatformQuirks calls
// it only there.
void StopDrawingIntoWindow(IMFVideoDisplayControl* display);

constexpr unsigned long DRAWING_FINISH_WAIT_MS = 50;
