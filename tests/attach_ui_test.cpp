#include "common/RunsOnWine.h"
#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "FakeSession.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

bool Layered(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

struct IconHeader {
    bool found = false;
    BITMAPINFOHEADER header{};
};

// The colour bitmap header of the file type's shell icon, read independently of the viewer.
IconHeader ShellIconHeader(const std::wstring& path) {
    IconHeader result;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICON) || !info.hIcon) return result;
    ICONINFO parts{};
    if (GetIconInfo(info.hIcon, &parts)) {
        BITMAPINFO bitmap{};
        bitmap.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        const HDC screen = GetDC(nullptr);
        result.found = GetDIBits(screen, parts.hbmColor, 0, 0, nullptr, &bitmap, DIB_RGB_COLORS) != 0;
        ReleaseDC(nullptr, screen);
        result.header = bitmap.bmiHeader;
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
    }
    DestroyIcon(info.hIcon);
    return result;
}

// Files of the Linux /proc, which Wine shows on drive Z:, report a size of 0: read to the end.
std::string ReadProcFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

// The names of the Linux threads of the process whose /proc folder, on drive Z:, is folder.
std::vector<std::string> ThreadNamesOf(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE tasks = FindFirstFileW((folder + L"\\task\\*").c_str(), &found);
    if (tasks == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.cFileName[0] == L'.') continue;
        std::string name = ReadProcFile(folder + L"\\task\\" + found.cFileName + L"\\comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        names.push_back(name);
    } while (FindNextFileW(tasks, &found));
    FindClose(tasks);
    return names;
}

// The names of this process's Linux threads. Under Wine /proc/self can answer for another
// process, and a 32-bit program's command line need not hold its path: the process is the one
// among those that name this program where this thread goes by a name given to it here.
std::vector<std::string> LinuxThreadNames() {
    using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const auto describe = reinterpret_cast<Describe>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!describe) return {};
    const std::string marker = "attach-" + std::to_string(GetCurrentProcessId());
    describe(GetCurrentThread(), std::wstring(marker.begin(), marker.end()).c_str());
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const wchar_t* const slash = wcsrchr(program, L'\\');
    const std::wstring fileName = slash ? slash + 1 : program;
    const std::string programName(fileName.begin(), fileName.end());

    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE processes = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (processes != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring folder = L"Z:\\proc\\" + std::wstring(found.cFileName);
            if (std::wstring(found.cFileName).find_first_not_of(L"0123456789") != std::wstring::npos) continue;
            if (ReadProcFile(folder + L"\\cmdline").find(programName) == std::string::npos) continue;
            std::vector<std::string> threads = ThreadNamesOf(folder);
            if (std::find(threads.begin(), threads.end(), marker) == threads.end()) continue;
            names = std::move(threads);
            break;
        } while (FindNextFileW(processes, &found));
        FindClose(processes);
    }
    describe(GetCurrentThread(), L"");
    return names;
}

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

class AttachTest : public ::testing::Test {
protected:
    void SetUp() override { host.SetViewer(&viewer); }

    void Open(const wchar_t* media) { ASSERT_EQ(viewer.Open(MediaPath(media).c_str()), 0); }

    bool WaitForState(PlayerState state, DWORD timeoutMs = 10000) {
        return PumpUntil([&] { return viewer.player && viewer.player->State() == state; }, timeoutMs);
    }

    int32_t Query(UINT message, int32_t* values) {
        return viewer.HandleMessage(message, reinterpret_cast<WPARAM>(values), 0);
    }

    // A session that accepts the topology and never reports on it, armed with the player as a
    // real session would be. The session that open made is shut down.
    ComPtr<FakeSession> ReplaceSession() {
        ComPtr<FakeSession> fake;
        fake.Attach(new FakeSession);
        const ComPtr<IMFMediaSession> real = viewer.player->Session();
        viewer.player->Adopt(fake.Get(), viewer.player->Source().Get());
        real->Shutdown();
        fake->BeginGetEvent(viewer.player.get(), nullptr);
        return fake;
    }

    // The pane's pixels once the host has drawn source into destination, as a host repaints while
    // its window settles.
    std::vector<DWORD> DrawnPixels(const RECT& source, const RECT& destination, int width, int height) {
        const HDC dc = GetDC(host.pane());
        EXPECT_EQ(viewer.Draw(dc, &source, &destination), 0);
        ReleaseDC(host.pane(), dc);
        PumpMessages(50);
        return CaptureClient(host.pane(), width, height);
    }

    // Declared before the viewer, so that the viewer's teardown still finds its window.
    HostWindow host{320, 240};
    ExtViewMF viewer;
};

TEST_F(AttachTest, WithoutAnOpenFileNothingIsCreated) {
    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    EXPECT_TRUE(Children(host.pane()).empty());
    EXPECT_FALSE(viewer.panel);
    EXPECT_EQ(viewer.hostWindow, nullptr);
}

TEST_F(AttachTest, MovieStartsPlayingInTheWindow) {
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(viewer.panel);
    EXPECT_EQ(viewer.hostWindow, host.pane());
    EXPECT_EQ(viewer.player->VideoWindow(), host.pane());
    EXPECT_EQ(viewer.player->EventWindow(), host.pane());
    EXPECT_EQ(Children(host.pane()).size(), 3u);
    EXPECT_EQ(WindowText(viewer.panel->playButton), L"||");
    EXPECT_EQ(SendMessageW(viewer.panel->seekBar, PBM_GETPOS, 0, 0), 0);
    PBRANGE range{-1, -1};
    SendMessageW(viewer.panel->seekBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 65535);
    for (HWND control : {viewer.panel->playButton, viewer.panel->stopButton, viewer.panel->seekBar}) {
        EXPECT_TRUE(Layered(control));
    }
    EXPECT_FALSE(viewer.panel->showAlways);
    EXPECT_FALSE(viewer.fileIcon);

    EXPECT_TRUE(WaitForState(PlayerState::Started)) << "state " << static_cast<int>(viewer.player->State());
    const std::vector<UINT> received = host.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), WM_PLAYER_EVENT), received.end())
        << "the session's events come through the window";

    int32_t size[2] = {-1, -1};
    ASSERT_EQ(Query(WM_EXTVIEW_GET_IMAGE_SIZE, size), 0);
    EXPECT_EQ(size[0], 320);
    EXPECT_EQ(size[1], 240);
    int32_t bits = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_BIT_DEPTH, &bits), 0);
    EXPECT_EQ(bits, 0);
    int32_t duration = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_DURATION, &duration), 0);
    EXPECT_EQ(duration, 5000);

    host.ClearReceived();
    EXPECT_TRUE(PumpUntil([&] { return host.CountReceived(WM_TIMER, REFRESH_TIMER_ID) > 0; }, 1000));
}

// Under Wine 10 the platform's H.264 decoder, given more than one thread, now and then ends the
// process on a movie whose coded frame is larger than its picture. Its extra threads are named
// after the codec.
TEST_F(AttachTest, PlatformDecodesOnOneThreadUnderWine) {
    if (!RunsOnWine()) GTEST_SKIP() << "Windows decodes as it sees fit";
    DWORD_PTR before = 0;
    DWORD_PTR after = 0;
    DWORD_PTR system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &before, &system));
    Open(L"wide-854x480.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &after, &system));
    EXPECT_EQ(after, before) << "the host keeps all its CPUs";
    const std::vector<std::string> threads = LinuxThreadNames();
    ASSERT_FALSE(threads.empty()) << "the process's Linux threads are not to be found";
    for (const std::string& name : threads) EXPECT_NE(name.rfind("av:h264:", 0), 0u) << name;
}

TEST_F(AttachTest, AttachingAgainOnlyRebuildsThePanel) {
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));
    const std::vector<HWND> first = Children(host.pane());
    const UIPanel* firstPanel = viewer.panel.get();

    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    for (HWND window : first) EXPECT_FALSE(IsWindow(window));
    ASSERT_TRUE(viewer.panel);
    EXPECT_NE(viewer.panel.get(), firstPanel);
    EXPECT_EQ(Children(host.pane()).size(), 3u);
    EXPECT_EQ(WindowText(viewer.panel->playButton), L">");
    EXPECT_FALSE(Layered(viewer.panel->playButton));

    EXPECT_EQ(viewer.hostWindow, host.pane());
    host.ClearReceived();
    EXPECT_TRUE(PumpUntil([&] { return host.CountReceived(WM_TIMER, REFRESH_TIMER_ID) > 0; }, 1000));
    EXPECT_EQ(viewer.player->State(), PlayerState::Started);
    int32_t position = -1;
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &position), 0);
    EXPECT_GT(position, 0);
}

TEST_F(AttachTest, AudioOnlyFileIsShownAsItsShellIcon) {
    Open(L"audio-only.mp4");
    const IconHeader icon = ShellIconHeader(MediaPath(L"audio-only.mp4"));
    ASSERT_TRUE(icon.found) << "the shell gives no icon for the file";

    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    EXPECT_FALSE(viewer.player->HasVideoDisplay());
    EXPECT_TRUE(viewer.fileIcon);
    int32_t size[2] = {-1, -1};
    ASSERT_EQ(Query(WM_EXTVIEW_GET_IMAGE_SIZE, size), 0);
    EXPECT_EQ(size[0], icon.header.biWidth);
    EXPECT_EQ(size[1], icon.header.biHeight);
    int32_t bits = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_BIT_DEPTH, &bits), 0);
    EXPECT_EQ(bits, icon.header.biBitCount);

    EXPECT_TRUE(viewer.panel->showAlways);
    for (HWND control : {viewer.panel->playButton, viewer.panel->stopButton, viewer.panel->seekBar}) {
        EXPECT_FALSE(Layered(control));
    }
    EXPECT_TRUE(WaitForState(PlayerState::Started));
}

TEST_F(AttachTest, SessionThatNeverReportsIsGivenUpInTime) {
    viewer.openWaitLimitMs = 1000;
    Open(L"sample.mp4");
    const ComPtr<FakeSession> fake = ReplaceSession();

    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    const ULONGLONG waited = GetTickCount64() - before;
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ(viewer.player->State(), PlayerState::Closing);
    EXPECT_EQ(viewer.player->EventWindow(), nullptr);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_FALSE(KillTimer(host.pane(), REFRESH_TIMER_ID));

    const ULONGLONG closing = GetTickCount64();
    viewer.Reset();
    EXPECT_LT(GetTickCount64() - closing, 1000u);
    EXPECT_TRUE(Children(host.pane()).empty());
}

TEST_F(AttachTest, RefusedTopologyLeavesThePlayerClosed) {
    Open(L"sample.mp4");
    const ComPtr<FakeSession> fake = ReplaceSession();
    fake->setTopologyResult = E_FAIL;

    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    EXPECT_EQ(fake->CallNames(), std::vector<std::string>{"SetTopology"});
    EXPECT_EQ(viewer.player->State(), PlayerState::Closed);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_EQ(viewer.player->EventWindow(), nullptr);
    EXPECT_FALSE(KillTimer(host.pane(), REFRESH_TIMER_ID));
    ASSERT_TRUE(viewer.panel);
    EXPECT_EQ(Children(host.pane()).size(), 3u) << "the new panel stays";
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
    // Topmost, and beside the windows that other test programs open at the screen's top left
    // corner, 808 by 507 at most.
    SetWindowPos(host.frame(), HWND_TOPMOST, 820, 20, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    host.Resize(800, 480);
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));

    // The 320x240 picture fitted and centred, as the host asks for it: in the pane it was
    // attached to, then in a taller one and a wider one, each resized while the movie plays.
    // After the first picture, the host draws once per resize and the picture follows within
    // half a second.
    const struct {
        SIZE client;
        RECT picture;
        DWORD boundMs;
    } cases[] = {{{800, 480}, {80, 0, 720, 480}, 5000},
                 {{360, 600}, {0, 165, 360, 435}, 500},
                 {{640, 360}, {80, 0, 560, 360}, 500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.client.cx) + " x " + std::to_string(c.client.cy));
        const int width = c.client.cx;
        const int height = c.client.cy;
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
