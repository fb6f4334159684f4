#pragma once
// What the tests share: paths of the built files, a host window that forwards its messages to
// a viewer as a host does, and screen captures; with the message pumps and the box watcher of
// every program that hosts the module.

#include "host/support/BoxWatcher.h"
#include "host/support/MessagePump.h"
#include "host/support/ScreenPixels.h"

#include <windows.h>

#include <string>
#include <vector>

class ExtViewMF;

// Folder of the running test program: the DLL, the media folder and the programs sit there.
std::wstring BuildDir();
std::wstring MediaPath(const wchar_t* name);
std::string Narrow(const std::wstring& text);
// A copy of a test movie under another name in the media folder, made anew.
std::wstring CopyOfMedia(const wchar_t* media, const std::wstring& name);
// Whether Media Foundation is started in this process: its work queues exist only then.
bool PlatformRunning();

// A frame with a child pane, as in a file manager's viewer. Every pane message goes to the
// viewer's HandleMessage when one is set, and to DefWindowProc when it answers 1.
class HostWindow {
public:
    explicit HostWindow(int clientWidth = 640, int clientHeight = 480);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND frame() const { return frame_; }
    HWND pane() const { return pane_; }
    // Gives the pane a client area of width by height, as a host resizing its viewer does.
    void Resize(int clientWidth, int clientHeight);
    void SetViewer(ExtViewMF* viewer);
    // Messages the pane received (number only), for checks such as the refresh timer's.
    std::vector<UINT> Received() const;
    void ClearReceived();
    int CountReceived(UINT message, WPARAM wParam) const;

private:
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND frame_ = nullptr;
    HWND pane_ = nullptr;
    ExtViewMF* viewer_ = nullptr;
    std::vector<std::pair<UINT, WPARAM>> received_;
};

// The lit (not black) stretch of count pixels of a capture from start in steps of step: the
// index of the first lit pixel and one past the last, or {count, 0} when none is lit.
struct LitSpan {
    int first;
    int end;
};
LitSpan FindLit(const std::vector<DWORD>& pixels, int width, POINT start, POINT step, int count);

