#include "panel/UIPanel.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// The window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND window) {
    RECT place{};
    GetWindowRect(window, &place);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void ExpectPlace(HWND window, int x, int y, int width, int height) {
    const RECT place = PlaceOf(window);
    EXPECT_EQ(place.left, x);
    EXPECT_EQ(place.top, y);
    EXPECT_EQ(place.right - place.left, width);
    EXPECT_EQ(place.bottom - place.top, height);
}

bool Layered(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel.Create(host.pane());
        ASSERT_TRUE(panel.playButton && panel.stopButton && panel.seekBar);
    }

    std::vector<HWND> Windows() const { return {panel.playButton, panel.stopButton, panel.seekBar}; }

    HostWindow host{400, 300};
    UIPanel panel;
};

TEST_F(PanelTest, LaysItsControlsAlongTheBottomInTheStatusFontsHeight) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    const int h = std::abs(metrics.lfStatusFont.lfHeight) + 2 * GetSystemMetrics(SM_CYDLGFRAME);
    ASSERT_GT(h, 0);
    EXPECT_EQ(panel.barHeight, h);
    EXPECT_EQ(panel.parentWindow, host.pane());

    RECT client{};
    GetClientRect(host.pane(), &client);
    const int W = client.right;
    const int H = client.bottom;
    ExpectPlace(panel.playButton, 0, H - h, h, h);
    ExpectPlace(panel.stopButton, h, H - h, h, h);
    ExpectPlace(panel.seekBar, 2 * h, H - h, W - 2 * h, h);

    struct Expected {
        HWND window;
        const wchar_t* className;
        const wchar_t* text;
        int id;
        LONG style;
    };
    const Expected controls[] = {
        {panel.playButton, L"Button", L">", 1, 0x50004000},
        {panel.stopButton, L"Button", L"\x25A0", 2, 0x50004000},
        {panel.seekBar, L"msctls_progress32", L"Tracker", 3, 0x50004001},
    };
    for (const Expected& control : controls) {
        SCOPED_TRACE(control.id);
        EXPECT_EQ(GetParent(control.window), host.pane());
        EXPECT_EQ(_wcsicmp(ClassOf(control.window).c_str(), control.className), 0) << Narrow(ClassOf(control.window));
        EXPECT_EQ(WindowText(control.window), control.text);
        EXPECT_EQ(GetDlgCtrlID(control.window), control.id);
        EXPECT_EQ(GetWindowLongW(control.window, GWL_STYLE) & control.style, control.style);
        EXPECT_FALSE(Layered(control.window)) << "opaque until told otherwise";
    }

    ASSERT_TRUE(panel.font);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(panel.playButton, WM_GETFONT, 0, 0)), panel.font.get());
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(panel.stopButton, WM_GETFONT, 0, 0)), panel.font.get());
    LOGFONTW made{};
    ASSERT_TRUE(GetObjectW(panel.font.get(), sizeof(made), &made));
    EXPECT_EQ(made.lfHeight, metrics.lfStatusFont.lfHeight);
    EXPECT_STREQ(made.lfFaceName, metrics.lfStatusFont.lfFaceName);
}

TEST_F(PanelTest, IsTranslucentUnlessShownAlways) {
    for (int round = 0; round < 2; ++round) {
        panel.SetShowAlways(false);
        EXPECT_FALSE(panel.showAlways);
        for (HWND window : Windows()) {
            EXPECT_TRUE(Layered(window));
            COLORREF key = 1;
            BYTE alpha = 0;
            DWORD flags = 0;
            ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
            EXPECT_EQ(alpha, 192);
            EXPECT_EQ(flags & LWA_ALPHA, static_cast<DWORD>(LWA_ALPHA));
        }
    }
    panel.SetShowAlways(true);
    EXPECT_TRUE(panel.showAlways);
    for (HWND window : Windows()) EXPECT_FALSE(Layered(window));
}

TEST_F(PanelTest, DestructionDestroysItsWindows) {
    const auto windows = Windows();
    auto owned = std::make_unique<UIPanel>();
    owned->Create(host.pane());
    const std::vector<HWND> created{owned->playButton, owned->stopButton, owned->seekBar};
    owned.reset();
    for (HWND window : created) EXPECT_FALSE(IsWindow(window));
    for (HWND window : windows) EXPECT_TRUE(IsWindow(window)) << "another panel's windows stay";
}

// Records the seek bar's WM_HSCROLL notifications as the host window receives them.
class ScrollRecorder {
public:
    explicit ScrollRecorder(HWND window) : window_(window) {
        SetPropW(window_, PROP, this);
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~ScrollRecorder() {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropW(window_, PROP);
    }
    ScrollRecorder(const ScrollRecorder&) = delete;
    ScrollRecorder& operator=(const ScrollRecorder&) = delete;

    struct Scroll {
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Scroll> scrolls;

private:
    static constexpr const wchar_t* PROP = L"ScrollRecorder";
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<ScrollRecorder*>(GetPropW(window, PROP));
        if (message == WM_HSCROLL) self->scrolls.push_back({wParam, lParam});
        return CallWindowProcW(self->previous_, window, message, wParam, lParam);
    }
    HWND window_;
    WNDPROC previous_ = nullptr;
};

class SeekBarTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        RECT client{};
        GetClientRect(panel.seekBar, &client);
        width = client.right;
        ASSERT_GT(width, 100);
        recorder = std::make_unique<ScrollRecorder>(host.pane());
    }
    void TearDown() override {
        ReleaseCapture();
        recorder.reset();
    }

    void Send(UINT message, int x) {
        SendMessageW(panel.seekBar, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                     MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), 5));
    }

    WPARAM Track(int position) const { return MAKEWPARAM(SB_THUMBTRACK, position); }

    std::vector<WPARAM> Sent() const {
        std::vector<WPARAM> sent;
        for (const auto& scroll : recorder->scrolls) {
            EXPECT_EQ(scroll.lParam, reinterpret_cast<LPARAM>(panel.seekBar));
            sent.push_back(scroll.wParam);
        }
        return sent;
    }

    int width = 0;
    std::unique_ptr<ScrollRecorder> recorder;
};

TEST_F(SeekBarTest, PressDragAndReleaseTrackThePointer) {
    const int third = width / 3;
    Send(WM_LBUTTONDOWN, third);
    EXPECT_EQ(GetCapture(), panel.seekBar);
    Send(WM_MOUSEMOVE, width + 40);
    Send(WM_MOUSEMOVE, width);
    Send(WM_MOUSEMOVE, -25);
    Send(WM_MOUSEMOVE, 0);
    Send(WM_LBUTTONUP, 10);
    EXPECT_NE(GetCapture(), panel.seekBar);

    const int last = (width - 1) * 65535 / width;
    EXPECT_EQ(Sent(), (std::vector<WPARAM>{Track(third * 65535 / width), Track(last), Track(last), Track(0), Track(0),
                                           SB_ENDSCROLL}));
}

TEST_F(SeekBarTest, OnlyAHeldButtonTracks) {
    Send(WM_MOUSEMOVE, width / 2);
    EXPECT_TRUE(Sent().empty());

    // The press happened elsewhere: the release still ends the scroll.
    Send(WM_LBUTTONUP, width / 2);
    EXPECT_EQ(Sent(), std::vector<WPARAM>{SB_ENDSCROLL});
}

TEST_F(SeekBarTest, BarWithoutWidthStaysAtTheStart) {
    MoveWindow(panel.seekBar, 2 * panel.barHeight, 0, 0, panel.barHeight, FALSE);
    RECT client{};
    GetClientRect(panel.seekBar, &client);
    ASSERT_EQ(client.right, 0);
    Send(WM_LBUTTONDOWN, 0);
    Send(WM_MOUSEMOVE, 30);
    Send(WM_LBUTTONUP, 30);
    EXPECT_EQ(Sent(), (std::vector<WPARAM>{Track(0), Track(0), SB_ENDSCROLL}));
}

}  // namespace
