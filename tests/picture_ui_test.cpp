// How the picture shows in the host's window: the colours where they belong, fitted to a pane
// that changes size, turned upright and stretched to its displayed size.

#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"

#include "AttachFixture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// The picture fitted into a client area of width by height and centred, as a host lays it out.
RECT Fitted(int imageWidth, int imageHeight, int width, int height) {
    const int fittedWidth = std::min(width, imageWidth * height / imageHeight);
    const int fittedHeight = std::min(height, imageHeight * width / imageWidth);
    const int left = (width - fittedWidth) / 2;
    const int top = (height - fittedHeight) / 2;
    return {left, top, left + fittedWidth, top + fittedHeight};
}

enum Colour : DWORD { RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, WHITE = 0xFFFFFF };

// Whether a captured pixel shows colour, give or take what YUV and scaling do to it.
bool Shows(DWORD pixel, Colour colour) {
    for (int shift : {16, 8, 0}) {
        if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF)) > 64)
            return false;
    }
    return true;
}

// A picture whose width is no multiple of 16 is decoded into wider frames, whose spare columns
// must not show at its right edge.
TEST_F(AttachTest, PictureShowsTheColourBars) {
    const struct {
        const wchar_t* movie;
        SIZE pane;
        POINT place;
    } cases[] = {{L"sample.mp4", {320, 240}, {820, 620}}, {L"bars-854x480.mp4", {854, 480}, {400, 500}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.movie, c.movie + wcslen(c.movie)));
        host.Resize(c.pane.cx, c.pane.cy);
        // Out of the way of other programs' windows, and above them.
        SetWindowPos(host.frame(), HWND_TOPMOST, c.place.x, c.place.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        Open(c.movie);
        ASSERT_EQ(viewer.Attach(host.pane()), 0);
        ASSERT_TRUE(WaitForState(PlayerState::Started));

        RECT client{};
        GetClientRect(host.pane(), &client);
        const RECT frame{0, 0, viewer.imageWidth, viewer.imageHeight};
        const HDC dc = GetDC(host.pane());
        EXPECT_EQ(viewer.Draw(dc, &frame, &client), 0);
        ReleaseDC(host.pane(), dc);
        PumpMessages(1000);

        const int width = client.right;
        const int height = client.bottom;
        const std::vector<DWORD> pixels = CaptureClient(host.pane(), width, height);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(width * height));

        // The upper bars at three quarters of full level, from the left: grey, yellow, cyan,
        // green, magenta, red, blue; then the blue bar's last columns.
        const int level = 191;
        const int bars[8][3] = {{level, level, level}, {level, level, 0}, {0, level, level}, {0, level, 0},
                                {level, 0, level},     {level, 0, 0},     {0, 0, level},     {0, 0, level}};
        const int y = height / 4;
        for (int bar = 0; bar < 8; ++bar) {
            const int x = bar < 7 ? (2 * bar + 1) * width / 14 : width - 2;
            const DWORD pixel = pixels[y * width + x];
            const int seen[3] = {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                                 static_cast<int>(pixel & 0xFF)};
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(seen[channel], bars[bar][channel], 48)
                    << "at (" << x << ", " << y << "), channel " << channel;
            }
        }
    }
}

TEST_F(AttachTest, PictureFollowsAPaneResizedWhilePlaying) {
    // The 320x240 picture fitted and centred, as the host asks for it: in the pane it was
    // attached to, then in a taller one and a wider one, each moved and resized while the movie
    // plays, as a user drags the host's window about. After the first picture, the host draws
    // once per resize and the picture follows within half a second. The frame stays topmost,
    // and beside the windows that other test programs open at the screen's top left corner,
    // 808 by 507 at most.
    const struct {
        POINT at;
        SIZE client;
        RECT picture;
        DWORD boundMs;
    } cases[] = {{{440, 510}, {800, 480}, {80, 0, 720, 480}, 5000},
                 {{820, 20}, {360, 600}, {0, 165, 360, 435}, 500},
                 {{440, 510}, {640, 360}, {80, 0, 560, 360}, 500}};
    SetWindowPos(host.frame(), HWND_TOPMOST, cases[0].at.x, cases[0].at.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    host.Resize(cases[0].client.cx, cases[0].client.cy);
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));

    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.client.cx) + " x " + std::to_string(c.client.cy));
        const int width = c.client.cx;
        const int height = c.client.cy;
        SetWindowPos(host.frame(), HWND_TOPMOST, c.at.x, c.at.y, 0, 0, SWP_NOSIZE);
        host.Resize(width, height);
        const RECT frame{0, 0, viewer.imageWidth, viewer.imageHeight};
        const HDC dc = GetDC(host.pane());
        EXPECT_EQ(viewer.Draw(dc, &frame, &c.picture), 0);
        ReleaseDC(host.pane(), dc);

        // Across the upper bars, and down the grey bar at the left, short of the panel's strip.
        const int pictureWidth = c.picture.right - c.picture.left;
        const int pictureHeight = c.picture.bottom - c.picture.top;
        const POINT row{0, c.picture.top + pictureHeight / 4};
        const POINT column{c.picture.left + pictureWidth / 14, 0};
        const int columnLength = height - viewer.panel->barHeight;
        const int bottom = std::min<int>(c.picture.bottom, columnLength);
        LitSpan across{};
        LitSpan down{};
        const auto shaped = [&] {
            const std::vector<DWORD> pixels = CaptureClient(host.pane(), width, height);
            across = FindLit(pixels, width, row, {1, 0}, width);
            down = FindLit(pixels, width, column, {0, 1}, columnLength);
            return std::abs(across.first - c.picture.left) <= 3 && std::abs(across.end - c.picture.right) <= 3 &&
                   std::abs(down.first - c.picture.top) <= 3 && std::abs(down.end - bottom) <= 3;
        };
        EXPECT_TRUE(PumpUntil(shaped, c.boundMs))
            << "picture from x " << across.first << " to " << across.end << ", y " << down.first << " to " << down.end;
    }
}

// The quadrants movies store their picture with red top left, green top right, blue bottom left
// and white bottom right; rotate-N is to be turned N degrees clockwise to stand upright.
TEST_F(AttachTest, TurnedMoviesStandUprightAtTheirDisplayedSize) {
    SetWindowPos(host.frame(), HWND_TOPMOST, 20, 560, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    const int width = 400;
    const int height = 360;
    host.Resize(width, height);
    const struct {
        const wchar_t* media;
        SIZE size;
        Colour quadrants[4];
    } cases[] = {
        {L"rotate-90.mp4", {240, 320}, {BLUE, RED, WHITE, GREEN}},
        {L"rotate-180.mp4", {320, 240}, {WHITE, BLUE, GREEN, RED}},
        {L"rotate-270.mp4", {240, 320}, {GREEN, WHITE, RED, BLUE}},
        {L"rotate-90.mov", {240, 320}, {BLUE, RED, WHITE, GREEN}},
        {L"rotate-180.mov", {320, 240}, {WHITE, BLUE, GREEN, RED}},
        {L"rotate-270.mov", {240, 320}, {GREEN, WHITE, RED, BLUE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.media));
        Open(c.media);
        ASSERT_EQ(viewer.Attach(host.pane()), 0);
        ASSERT_TRUE(WaitForState(PlayerState::Started));
        int32_t size[2] = {-1, -1};
        for (UINT query : {WM_EXTVIEW_GET_IMAGE_SIZE2, WM_EXTVIEW_GET_IMAGE_SIZE}) {
            ASSERT_EQ(Query(query, size), 0);
            EXPECT_EQ(size[0], c.size.cx);
            EXPECT_EQ(size[1], c.size.cy);
        }

        const RECT frame{0, 0, size[0], size[1]};
        const RECT picture = Fitted(size[0], size[1], width, height);
        const int pictureWidth = picture.right - picture.left;
        const int pictureHeight = picture.bottom - picture.top;
        std::vector<DWORD> seen(4);
        // Drawn again on every look, as a host repaints while its window settles.
        const auto upright = [&] {
            const std::vector<DWORD> pixels = DrawnPixels(frame, picture, width, height);
            if (pixels.empty()) return false;
            bool all = true;
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                const int x = picture.left + (1 + 2 * (quadrant % 2)) * pictureWidth / 4;
                const int y = picture.top + (1 + 2 * (quadrant / 2)) * pictureHeight / 4;
                seen[quadrant] = pixels[y * width + x] & 0xFFFFFF;
                all = all && Shows(seen[quadrant], c.quadrants[quadrant]);
            }
            return all;
        };
        EXPECT_TRUE(PumpUntil(upright, 5000)) << std::hex << "top left " << seen[0] << ", top right " << seen[1]
                                              << ", bottom left " << seen[2] << ", bottom right " << seen[3];
    }
}

TEST_F(AttachTest, AnamorphicMovieFillsTheRectangleFittedToItsDisplayedSize) {
    SetWindowPos(host.frame(), HWND_TOPMOST, 600, 480, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    const int width = 640;
    const int height = 480;
    host.Resize(width, height);
    Open(L"anamorphic-4x3.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));
    int32_t size[2] = {-1, -1};
    ASSERT_EQ(Query(WM_EXTVIEW_GET_IMAGE_SIZE, size), 0);
    EXPECT_EQ(size[0], 640);
    EXPECT_EQ(size[1], 360);

    // 640x360 in 640x480: bars of 60 above and below. Across the middle of the top half, and
    // down the middle of the left half; the two halves meet in the middle.
    const RECT frame{0, 0, size[0], size[1]};
    const RECT picture = Fitted(size[0], size[1], width, height);
    LitSpan across{};
    LitSpan down{};
    DWORD middle[2] = {};
    const auto shaped = [&] {
        const std::vector<DWORD> pixels = DrawnPixels(frame, picture, width, height);
        if (pixels.empty()) return false;
        const int row = picture.top + (picture.bottom - picture.top) / 4;
        across = FindLit(pixels, width, {0, row}, {1, 0}, width);
        down = FindLit(pixels, width, {width / 4, 0}, {0, 1}, height - viewer.panel->barHeight);
        middle[0] = pixels[row * width + width / 2 - 8] & 0xFFFFFF;
        middle[1] = pixels[row * width + width / 2 + 8] & 0xFFFFFF;
        return std::abs(across.first - picture.left) <= 3 && std::abs(across.end - picture.right) <= 3 &&
               std::abs(down.first - picture.top) <= 3 && std::abs(down.end - picture.bottom) <= 3 &&
               Shows(middle[0], RED) && Shows(middle[1], GREEN);
    };
    EXPECT_TRUE(PumpUntil(shaped, 5000)) << "picture from x " << across.first << " to " << across.end << ", y "
                                         << down.first << " to " << down.end << std::hex << "; either side of the "
                                         << "middle " << middle[0] << " and " << middle[1];
}

}  // namespace
