#include "host/support/ScreenPixels.h"

BITMAPINFO TopDownBgraInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

std::vector<DWORD> CaptureClient(HWND window, const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<DWORD> pixels;
    if (width <= 0 || height <= 0) return pixels;
    POINT origin{area.left, area.top};
    ClientToScreen(window, &origin);
    BITMAPINFO info = TopDownBgraInfo(width, height);
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap && bits) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        if (BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY)) {
            GdiFlush();
            const auto* first = static_cast<const DWORD*>(bits);
            pixels.assign(first, first + width * height);
        }
        SelectObject(memory, previous);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

std::vector<DWORD> CaptureClient(HWND window, int width, int height) {
    return CaptureClient(window, RECT{0, 0, width, height});
}

bool IsLit(DWORD pixel) { return ((pixel >> 16) & 0xFF) > 24 || ((pixel >> 8) & 0xFF) > 24 || (pixel & 0xFF) > 24; }
