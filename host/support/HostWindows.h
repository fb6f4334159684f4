#pragma once
// A host's own windows: the classes, a frame of a given client size, and the object each window
// was made for.

#include <windows.h>

// Registers a class of this program with the arrow cursor; false when it cannot be registered.
bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background = nullptr, UINT style = 0);

// A top-level window whose client area is clientWidth by clientHeight; owner is kept for OwnerOf.
HWND CreateFrame(const wchar_t* className, const wchar_t* title, DWORD style, int clientWidth, int clientHeight,
                 void* owner = nullptr);

// The object the window was created for (CreateWindowEx's last argument), kept in its user data
// from WM_NCCREATE on; a window procedure calls it for every message.
template <typename Owner>
Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}
