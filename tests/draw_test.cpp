#include "common/ComObject.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <evr.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Records what the viewer asks of the video renderer.
class FakeDisplay : public ComObject<IMFVideoDisplayControl> {
public:
    STDMETHODIMP SetVideoPosition(const MFVideoNormalizedRect* source, const LPRECT destination) override {
        positions.push_back({source ? *source : MFVideoNormalizedRect{-1, -1, -1, -1},
                             destination ? *destination : RECT{-1, -1, -1, -1}});
        return S_OK;
    }
    STDMETHODIMP RepaintVideo() override {
        ++repaints;
        return repaintResult;
    }

    STDMETHODIMP GetNativeVideoSize(SIZE* size, SIZE*) override {
        *size = native;
        return S_OK;
    }
    STDMETHODIMP GetIdealVideoSize(SIZE*, SIZE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetVideoPosition(MFVideoNormalizedRect*, LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP SetAspectRatioMode(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetAspectRatioMode(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetVideoWindow(HWND) override { return E_NOTIMPL; }
    STDMETHODIMP GetVideoWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentImage(BITMAPINFOHEADER*, BYTE**, DWORD*, LONGLONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderColor(COLORREF) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorderColor(COLORREF*) override { return E_NOTIMPL; }
    STDMETHODIMP SetRenderingPrefs(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetRenderingPrefs(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetFullscreen(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetFullscreen(BOOL*) override { return E_NOTIMPL; }

    struct Position {
        MFVideoNormalizedRect source;
        RECT destination;
    };
    std::vector<Position> positions;
    int repaints = 0;
    HRESULT repaintResult = S_OK;
    SIZE native{320, 240};

private:
    ~FakeDisplay() override = default;
};

RECT PlaceOf(HWND window) {
    RECT place{};
    GetWindowRect(window, &place);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class DrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        display.Attach(new FakeDisplay);
        viewer.player.reset(new CPlayer);
        viewer.player->AdoptPresentation(nullptr, display.Get(), nullptr, 0);
        viewer.player->SetState(PlayerState::Started);
    }

    int32_t Draw(const RECT& source, const RECT& destination) { return viewer.Draw(nullptr, &source, &destination); }

    void AddPanel() {
        viewer.panel.reset(new UIPanel);
        viewer.panel->Create(host.pane());
        ASSERT_TRUE(viewer.panel->playButton);
    }

    // Makes the pane's client area width by height, as a host resizing its viewer does.
    void Resize(int width, int height) {
        host.Resize(width, height);
        RECT client{};
        GetClientRect(host.pane(), &client);
        ASSERT_EQ(client.right, width);
        ASSERT_EQ(client.bottom, height);
    }

    bool PanelAlongBottom(int width, int height) const {
        const int h = viewer.panel->barHeight;
        return SameRect(PlaceOf(viewer.panel->playButton), {0, height - h, h, height}) &&
               SameRect(PlaceOf(viewer.panel->stopButton), {h, height - h, 2 * h, height}) &&
               SameRect(PlaceOf(viewer.panel->seekBar), {2 * h, height - h, width, height});
    }

    HostWindow host{320, 240};
    ExtViewMF viewer;
    ComPtr<FakeDisplay> display;
};

void ExpectNormalized(const MFVideoNormalizedRect& seen, float left, float top, float right, float bottom) {
    EXPECT_FLOAT_EQ(seen.left, left);
    EXPECT_FLOAT_EQ(seen.top, top);
    EXPECT_FLOAT_EQ(seen.right, right);
    EXPECT_FLOAT_EQ(seen.bottom, bottom);
}

TEST_F(DrawTest, HandsTheRendererTheSourceOnItsUnitScale) {
    const RECT destination{5, 6, 325, 246};
    EXPECT_EQ(Draw({0, 0, 320, 240}, destination), 0);
    display->native = {1920, 1080};
    viewer.player->AdoptPresentation(nullptr, display.Get(), nullptr, 0);
    EXPECT_EQ(Draw({0, 0, 960, 1080}, destination), 0);
    EXPECT_EQ(Draw({480, 270, 1440, 810}, destination), 0);
    display->native = {0, 0};
    viewer.player->AdoptPresentation(nullptr, display.Get(), nullptr, 0);
    EXPECT_EQ(Draw({0, 0, 320, 240}, destination), 0);

    ASSERT_EQ(display->positions.size(), 4u);
    ExpectNormalized(display->positions[0].source, 0, 0, 1, 1);
    ExpectNormalized(display->positions[1].source, 0, 0, 0.5f, 1);
    ExpectNormalized(display->positions[2].source, 0.25f, 0.25f, 0.75f, 0.75f);
    ExpectNormalized(display->positions[3].source, 0, 0, 1, 1);
    for (const auto& position : display->positions) EXPECT_TRUE(SameRect(position.destination, destination));
}

TEST_F(DrawTest, OnlyACentredDestinationBecomesTheWholeWindowUnderWine) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = GetProcAddress(ntdll, "wine_get_version") != nullptr;
    viewer.player->AdoptPresentation(host.pane(), display.Get(), nullptr, 0);
    const RECT centred{41, 30, 280, 210};
    const RECT offCentre{0, 30, 240, 210};
    EXPECT_EQ(Draw({0, 0, 320, 240}, centred), 0);
    EXPECT_EQ(Draw({0, 0, 320, 240}, offCentre), 0);

    ASSERT_EQ(display->positions.size(), 2u);
    EXPECT_TRUE(SameRect(display->positions[0].destination, wine ? RECT{0, 0, 320, 240} : centred));
    EXPECT_TRUE(SameRect(display->positions[1].destination, offCentre));
}

TEST_F(DrawTest, RepaintsExceptWhileStartingOrStopping) {
    const struct {
        PlayerState state;
        bool repaints;
    } cases[] = {
        {PlayerState::Closed, true},        {PlayerState::Ready, true},   {PlayerState::OpenPending, true},
        {PlayerState::StartPending, false}, {PlayerState::Started, true}, {PlayerState::PausePending, true},
        {PlayerState::Paused, true},        {PlayerState::StopPending, false}, {PlayerState::Stopped, false},
        {PlayerState::Closing, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        viewer.player->SetState(c.state);
        const size_t positions = display->positions.size();
        const int repaints = display->repaints;
        EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, 320, 240}), 0);
        EXPECT_EQ(display->positions.size(), positions + 1) << "the position is set in every state";
        EXPECT_EQ(display->repaints, repaints + (c.repaints ? 1 : 0));
    }
}

TEST_F(DrawTest, RepaintFailureStopsTheLayoutUnlessRepaintIsUnsupported) {
    AddPanel();
    Resize(400, 300);

    display->repaintResult = E_FAIL;
    EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, 400, 300}), -1);
    EXPECT_FALSE(PanelAlongBottom(400, 300));

    display->repaintResult = E_NOTIMPL;
    EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, 400, 300}), 0);
    EXPECT_TRUE(PanelAlongBottom(400, 300));
}

TEST_F(DrawTest, PanelFollowsTheWindowsSize) {
    AddPanel();
    ASSERT_TRUE(PanelAlongBottom(320, 240));
    for (const SIZE size : {SIZE{500, 380}, SIZE{260, 200}, SIZE{640, 480}}) {
        Resize(size.cx, size.cy);
        EXPECT_FALSE(PanelAlongBottom(size.cx, size.cy));
        EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, size.cx, size.cy}), 0);
        EXPECT_TRUE(PanelAlongBottom(size.cx, size.cy)) << size.cx << " x " << size.cy;
    }
}

TEST_F(DrawTest, WithoutPanelOnlyDraws) {
    EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, 320, 240}), 0);
    EXPECT_EQ(display->repaints, 1);
}

TEST_F(DrawTest, NothingToDrawFails) {
    AddPanel();
    Resize(400, 300);
    viewer.player.reset();
    EXPECT_EQ(Draw({0, 0, 320, 240}, {0, 0, 400, 300}), -1);
    EXPECT_FALSE(PanelAlongBottom(400, 300));
}

// A 16 by 16 icon of one opaque colour.
HICON SolidIcon(COLORREF colour) {
    const HDC screen = GetDC(nullptr);
    const HBITMAP image = CreateCompatibleBitmap(screen, 16, 16);
    const HDC dc = CreateCompatibleDC(screen);
    const HGDIOBJ previous = SelectObject(dc, image);
    const HBRUSH brush = CreateSolidBrush(colour);
    const RECT all{0, 0, 16, 16};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    const std::vector<BYTE> clear(16 * 16 / 8, 0);
    const HBITMAP mask = CreateBitmap(16, 16, 1, 1, clear.data());
    ICONINFO parts{TRUE, 0, 0, mask, image};
    const HICON icon = CreateIconIndirect(&parts);
    DeleteObject(mask);
    DeleteObject(image);
    return icon;
}

TEST_F(DrawTest, IconIsStretchedOverTheDestination) {
    viewer.fileIcon.reset(SolidIcon(RGB(200, 30, 60)));
    ASSERT_TRUE(viewer.fileIcon);
    viewer.player.reset();

    const int width = 120;
    const int height = 100;
    BITMAPINFO info = TopDownBgraInfo(width, height);
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP target = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(target && bits);
    const HGDIOBJ previous = SelectObject(dc, target);
    auto* pixels = static_cast<DWORD*>(bits);
    const DWORD background = 0x00102030;
    std::fill(pixels, pixels + width * height, background);

    const RECT ignored{100, 100, 101, 101};
    const RECT destination{10, 20, 74, 84};
    EXPECT_EQ(viewer.Draw(dc, &ignored, &destination), 0);
    GdiFlush();

    int inside = 0;
    int painted = 0;
    int outsideChanged = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const DWORD pixel = pixels[y * width + x] & 0x00FFFFFF;
            const POINT point{x, y};
            if (PtInRect(&destination, point)) {
                ++inside;
                if (pixel == 0x00C81E3C) ++painted;
            } else if (pixel != background) {
                ++outsideChanged;
            }
        }
    }
    EXPECT_EQ(painted, inside);
    EXPECT_EQ(outsideChanged, 0);

    SelectObject(dc, previous);
    DeleteObject(target);
    DeleteDC(dc);
}

}  // namespace
