#include "panel/UIPanel.h"

#include <commctrl.h>

#include <cstdlib>

WNDPROC seekBarBaseProc = nullptr;

namespace {

constexpr DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_NOTIFY;
// A button style's bit that means nothing to a progress bar; the seek bar is created with it all
// the same.
constexpr DWORD BUTTON_BIT_IGNORED_BY_PROGRESS_BARS = 0x4000;
constexpr DWORD SEEK_BAR_STYLE = WS_CHILD | WS_VISIBLE | PBS_SMOOTH | BUTTON_BIT_IGNORED_BY_PROGRESS_BARS;
constexpr BYTE TRANSLUCENT_ALPHA = 192;
// The full structure including the padded border width, in both builds.
constexpr UINT NONCLIENT_METRICS_SIZE = 504;

HWND CreateControl(HWND parent, HINSTANCE instance, const wchar_t* className, const wchar_t* text,
                   DWORD style, int id, int x, int y, int width, int height) {
    return CreateWindowExW(0, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

}  // namespace

UIPanel::~UIPanel() {
    for (HWND* window : {&playButton, &stopButton, &seekBar}) {
        if (*window) DestroyWindow(*window);
        *window = nullptr;
    }
    font.reset();
}

void UIPanel::Create(HWND parent) {
    parentWindow = parent;
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = NONCLIENT_METRICS_SIZE;
    static_assert(sizeof(NONCLIENTMETRICSW) >= NONCLIENT_METRICS_SIZE);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) {
        font.reset(CreateFontIndirectW(&metrics.lfStatusFont));
        barHeight = std::abs(metrics.lfStatusFont.lfHeight) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
    } else {
        barHeight = GetSystemMetrics(SM_CYHSCROLL);
    }

    RECT client{};
    GetClientRect(parent, &client);
    const int h = barHeight;
    const int y = client.bottom - h;

    playButton = CreateControl(parent, instance, L"BUTTON", L">", BUTTON_STYLE, PLAY_BUTTON_ID, 0, y, h, h);
    SendMessageW(playButton, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), 0);
    ShowWindow(playButton, SW_SHOW);

    stopButton = CreateControl(parent, instance, L"BUTTON", L"\x25A0", BUTTON_STYLE, STOP_BUTTON_ID, h, y, h, h);
    SendMessageW(stopButton, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), 0);
    ShowWindow(stopButton, SW_SHOW);

    seekBar = CreateControl(parent, instance, PROGRESS_CLASSW, L"Tracker", SEEK_BAR_STYLE, SEEK_BAR_ID, 2 * h, y,
                            client.right - 2 * h, h);
    if (seekBar) {
        seekBarBaseProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(seekBar, GWLP_WNDPROC));
        SetWindowLongPtrW(seekBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SeekBarProc));
    }
    ShowWindow(seekBar, SW_SHOW);
}

void UIPanel::SetShowAlways(bool shown) {
    showAlways = shown;
    for (HWND window : {playButton, stopButton, seekBar}) {
        const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
        if (shown) {
            SetWindowLongPtrW(window, GWL_EXSTYLE, style & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
        } else {
            SetWindowLongPtrW(window, GWL_EXSTYLE, style | WS_EX_LAYERED);
            SetLayeredWindowAttributes(window, 0, TRANSLUCENT_ALPHA, LWA_ALPHA);
        }
    }
}

LRESULT CALLBACK SeekBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN) SetCapture(window);
    if ((message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE) && GetCapture() == window) {
        RECT client{};
        GetClientRect(window, &client);
        const int width = client.right - client.left;
        int x = static_cast<short>(LOWORD(lParam));
        if (x < client.left) x = client.left;
        if (x >= client.right) x = client.right - 1;
        // A bar with no width has no positions to give: it stays at the start.
        const int position = width > 0 ? (x - client.left) * SEEK_BAR_MAX / width : 0;
        SendMessageW(GetParent(window), WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, position),
                     reinterpret_cast<LPARAM>(window));
    }
    if (message == WM_LBUTTONUP) {
        SendMessageW(GetParent(window), WM_HSCROLL, SB_ENDSCROLL, reinterpret_cast<LPARAM>(window));
        ReleaseCapture();
    }
    return CallWindowProcW(seekBarBaseProc, window, message, wParam, lParam);
}
