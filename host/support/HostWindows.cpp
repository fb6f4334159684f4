#include "host/support/HostWindows.h"

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background, UINT style) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0;
}

HWND CreateFrame(const wchar_t* className, const wchar_t* title, DWORD style, int clientWidth, int clientHeight,
                 void* owner) {
    RECT bounds{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&bounds, style, FALSE, 0);
    return CreateWindowExW(0, className, title, style, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                           nullptr, nullptr, GetModuleHandleW(nullptr), owner);
}
