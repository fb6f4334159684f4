#pragma once
// A window's client area as it stands on the screen. The video renderer presents its frames
// there without going through the window's own device context, so only a copy of the screen
// shows the picture.

#include <windows.h>

#include <vector>

// The header of a top-down, 32-bit bitmap of the given size.
BITMAPINFO TopDownBgraInfo(int width, int height);
// A 32-bit top-down copy of area (client coordinates) of the window as it stands on the screen;
// empty when it cannot be read.
std::vector<DWORD> CaptureClient(HWND window, const RECT& area);
// The same from the client area's top left corner.
std::vector<DWORD> CaptureClient(HWND window, int width, int height);
// Whether a pixel is more than near black.
bool IsLit(DWORD pixel);
