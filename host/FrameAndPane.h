#pragma once
// The demo host's windows: the frame, and the pane in it that the module plays into.

#include "host/App.h"

#include <windows.h>

namespace demo {

// Registers both classes and makes the frame, titled with the first file's name, and its pane,
// both made for app; false when one cannot be made. The frame is not shown yet.
bool CreateWindows(HINSTANCE instance, App& app);

}  // namespace demo
