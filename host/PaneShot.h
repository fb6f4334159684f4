#pragma once
// The demo host's screenshots: the pane as it stands on the screen, saved as PNG or BMP.

#include <windows.h>

#include <string>

namespace demo {

// Copies the pane's client area as it stands on the screen: the video renderer presents its
// frames there without going through the window's own device context, so a copy from that
// context (or PrintWindow) can miss the picture. A path ending in .bmp, in any case, is saved as
// BMP, any other as PNG; false when the copy or the saving fails.
bool SavePaneShot(HWND pane, const std::wstring& path);

}  // namespace demo
