#include "PlayingViewer.h"

#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr int32_t SENTINEL = 0x5A5A5A5A;
constexpr int SAMPLE_MS = 5000;
// How far the bar may lag the clock: a tick is late when the machine is busy.
constexpr int BAR_SLACK_MS = 500;

// Presses a button the way the user does: it notifies the host window, which forwards it.
void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

POINT Centre(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return {(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
}

class Playback : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(playing.Attach(L"sample.mp4"));
        ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
        ASSERT_EQ(playing.PlayCaption(), L"||");
    }

    int32_t PositionMs() {
        int32_t milliseconds = SENTINEL;
        EXPECT_EQ(playing.QueryPosition(&milliseconds), 0);
        return milliseconds;
    }

    PlayingViewer playing;
};

TEST_F(Playback, ButtonsPauseResumeAndStop) {
    PumpMessages(800);
    Click(playing.PlayButton());
    EXPECT_EQ(playing.State(), PlayerState::PausePending);
    EXPECT_EQ(playing.PlayCaption(), L">");
    EXPECT_EQ(GetFocus(), playing.host.pane()) << "the focus goes back to the host window";
    ASSERT_TRUE(playing.WaitForState(PlayerState::Paused));
    int32_t milliseconds = SENTINEL;
    EXPECT_EQ(playing.QueryPosition(&milliseconds), -1);
    EXPECT_EQ(milliseconds, SENTINEL);
    // The bar holds the last position read before the pause.
    const int pausedMs = playing.SeekBarPosition() * SAMPLE_MS / 65535;
    ASSERT_GT(pausedMs, 0);

    Click(playing.PlayButton());
    EXPECT_EQ(playing.State(), PlayerState::StartPending);
    EXPECT_EQ(playing.PlayCaption(), L"||");
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    EXPECT_GE(PositionMs(), pausedMs) << "playback goes on where it was paused";

    Click(playing.StopButton());
    EXPECT_EQ(playing.State(), PlayerState::StopPending);
    EXPECT_EQ(playing.PlayCaption(), L">");
    EXPECT_EQ(GetFocus(), playing.host.pane());
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped));
    EXPECT_EQ(PositionMs(), 0);

    Click(playing.PlayButton());
    EXPECT_EQ(playing.PlayCaption(), L"||");
    EXPECT_TRUE(playing.WaitForState(PlayerState::Started)) << "play after a stop";
}

TEST_F(Playback, DraggingTheSeekBarSeeksAndResumes) {
    const HWND bar = playing.SeekBar();
    RECT client{};
    GetClientRect(bar, &client);
    const int y = client.bottom / 2;

    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.right / 4, y));
    EXPECT_EQ(GetCapture(), bar);
    EXPECT_EQ(playing.State(), PlayerState::PausePending) << "a drag pauses playback";
    EXPECT_TRUE(playing.viewer.resumeAfterDrag);
    EXPECT_EQ(playing.PlayCaption(), L"||");
    SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(client.right / 2, y));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(client.right / 2, y));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_FALSE(playing.viewer.resumeAfterDrag);
    EXPECT_EQ(playing.PlayCaption(), L"||");

    // Playing again at the dropped point, not at the pressed one or where it was.
    ASSERT_TRUE(PumpUntil(
        [&] { return playing.State() == PlayerState::Started && playing.viewer.player->PendingSeek() == 0; }, 20000));
    const ULONGLONG resumed = GetTickCount64();
    PumpMessages(300);
    ASSERT_EQ(playing.State(), PlayerState::Started);
    const int32_t position = PositionMs();
    const auto played = static_cast<int32_t>(GetTickCount64() - resumed);
    EXPECT_GE(position, SAMPLE_MS / 2 - 100);
    EXPECT_LE(position, SAMPLE_MS / 2 + played + 200);
    EXPECT_NEAR(playing.SeekBarPosition(), 65535 * position / SAMPLE_MS, 65535 * BAR_SLACK_MS / SAMPLE_MS);
}

TEST_F(Playback, TheTimerMovesTheBarOnlyWhilePlaying) {
    PumpMessages(300);
    const int early = playing.SeekBarPosition();
    PumpMessages(700);
    const int later = playing.SeekBarPosition();
    EXPECT_GT(later, early);
    EXPECT_NEAR(later, 65535 * PositionMs() / SAMPLE_MS, 65535 * BAR_SLACK_MS / SAMPLE_MS);

    Click(playing.PlayButton());
    ASSERT_TRUE(playing.WaitForState(PlayerState::Paused));
    PumpMessages(300);
    const int paused = playing.SeekBarPosition();
    EXPECT_GT(paused, 0);
    PumpMessages(500);
    EXPECT_EQ(playing.SeekBarPosition(), paused);

    Click(playing.StopButton());
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped));
    EXPECT_TRUE(PumpUntil([&] { return playing.SeekBarPosition() == 0; }, 3000));
    EXPECT_EQ(playing.PlayCaption(), L">");
}

TEST_F(Playback, PlayingToTheEndStops) {
    // A busy machine decodes slower than the clock runs: the end may come late.
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped, SAMPLE_MS + 55000));
    EXPECT_TRUE(PumpUntil([&] { return playing.PlayCaption() == L">"; }, 3000))
        << "the next tick shows the play caption";
    EXPECT_EQ(PositionMs(), 0);
    EXPECT_EQ(playing.SeekBarPosition(), 0);
}

TEST(TwoViewers, EachSeekBarFollowsItsOwnDuration) {
    // The longer movie first, so that it is still playing however long the second takes to open.
    PlayingViewer longer;
    PlayingViewer shorter;
    ASSERT_TRUE(longer.Attach(L"hd720.mp4"));
    ASSERT_TRUE(shorter.Attach(L"sample.mp4"));
    ASSERT_TRUE(PumpUntil(
        [&] { return longer.State() == PlayerState::Started && shorter.State() == PlayerState::Started; }, 20000));
    ASSERT_TRUE(PumpUntil(
        [&] {
            int32_t milliseconds = 0;
            return shorter.QueryPosition(&milliseconds) == 0 && milliseconds >= 1500;
        },
        10000));

    const std::pair<PlayingViewer*, int> viewers[] = {{&longer, 12000}, {&shorter, SAMPLE_MS}};
    for (const auto& [viewer, durationMs] : viewers) {
        int32_t milliseconds = SENTINEL;
        ASSERT_EQ(viewer->QueryPosition(&milliseconds), 0);
        EXPECT_NEAR(viewer->SeekBarPosition(), 65535 * milliseconds / durationMs, 65535 * BAR_SLACK_MS / durationMs)
            << "at " << milliseconds << " ms of " << durationMs;
    }
}

// Its frames go through the module's own transform, which the session flushes on a seek and
// drains at the end.
TEST(TurnedMovie, SeeksPlaysToItsEndAndPlaysAgain) {
    PlayingViewer playing;
    ASSERT_TRUE(playing.Attach(L"rotate-90.mp4"));
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    PumpMessages(300);
    ASSERT_EQ(playing.viewer.SeekTo(10000000), 0);
    ASSERT_TRUE(PumpUntil(
        [&] { return playing.State() == PlayerState::Started && playing.viewer.player->PendingSeek() == 0; }, 20000));
    int32_t milliseconds = SENTINEL;
    ASSERT_EQ(playing.QueryPosition(&milliseconds), 0);
    EXPECT_GE(milliseconds, 900);
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped, 20000));
    Click(playing.PlayButton());
    EXPECT_TRUE(playing.WaitForState(PlayerState::Started));
}

class PanelVisibility : public Playback {
protected:
    void SetUp() override {
        Playback::SetUp();
        ASSERT_FALSE(playing.viewer.panel->showAlways);
        MoveCursorTo({1200, 1000});
        TakeNotifications();
    }

    void MoveCursorTo(POINT point) {
        ASSERT_TRUE(SetCursorPos(point.x, point.y));
        POINT now{};
        GetCursorPos(&now);
        ASSERT_EQ(now.x, point.x);
        ASSERT_EQ(now.y, point.y);
    }

    int32_t Request(WPARAM request) { return playing.viewer.HandleMessage(WM_EXTVIEW_HIDE_PANEL, request, 0); }

    std::vector<HWND> Controls() { return {playing.PlayButton(), playing.StopButton(), playing.SeekBar()}; }

    int VisibleControls() {
        int visible = 0;
        for (HWND control : Controls()) visible += IsWindowVisible(control) ? 1 : 0;
        return visible;
    }

    // Removes the panel notifications posted to the host window; their count.
    int TakeNotifications() {
        int count = 0;
        MSG message;
        while (PeekMessageW(&message, playing.host.pane(), WM_EXTVIEW_HOST_NOTIFY, WM_EXTVIEW_HOST_NOTIFY, PM_REMOVE)) {
            EXPECT_EQ(message.wParam, EXTVIEW_NOTIFY_PANEL_VISIBILITY);
            EXPECT_EQ(message.lParam, 0);
            ++count;
        }
        return count;
    }

    RECT Adjusted(RECT view) {
        EXPECT_EQ(playing.viewer.HandleMessage(WM_EXTVIEW_ADJUST_VIEW_RECT, reinterpret_cast<WPARAM>(&view), 0), 0);
        return view;
    }
};

TEST_F(PanelVisibility, AHideIsDeclinedWhileTheUserIsAtThePanel) {
    for (HWND control : Controls()) {
        MoveCursorTo(Centre(control));
        EXPECT_EQ(Request(1), 2);
        EXPECT_EQ(VisibleControls(), 3);
        EXPECT_EQ(TakeNotifications(), 0);
    }

    MoveCursorTo({1200, 1000});
    SetCapture(playing.SeekBar());
    EXPECT_EQ(Request(1), 2) << "a drag is under way";
    ReleaseCapture();
    EXPECT_EQ(VisibleControls(), 3);

    playing.viewer.panel->SetShowAlways(true);
    EXPECT_EQ(Request(1), 2) << "shown always";
    EXPECT_EQ(VisibleControls(), 3);
    EXPECT_EQ(TakeNotifications(), 0);
}

TEST_F(PanelVisibility, HideAndShowTellTheHostEachTime) {
    EXPECT_EQ(Request(1), 0);
    EXPECT_EQ(VisibleControls(), 0);
    EXPECT_EQ(TakeNotifications(), 1);

    // Hidden controls do not hold the panel open.
    MoveCursorTo(Centre(playing.PlayButton()));
    EXPECT_EQ(Request(1), 0);
    EXPECT_EQ(TakeNotifications(), 1);

    for (WPARAM show : {WPARAM{0}, WPARAM{2}, WPARAM{0xFFFF}}) {
        EXPECT_EQ(Request(show), 0);
        EXPECT_EQ(VisibleControls(), 3);
        EXPECT_EQ(TakeNotifications(), 1) << "show " << show;
    }
    playing.viewer.panel->SetShowAlways(true);
    EXPECT_EQ(Request(0), 0);
    EXPECT_EQ(TakeNotifications(), 1);
}

TEST_F(PanelVisibility, TheViewLosesTheStripOnlyWhileItIsShownAlways) {
    const RECT view{5, 10, 600, 400};
    const RECT autoHidden = Adjusted(view);
    EXPECT_TRUE(EqualRect(&autoHidden, &view)) << "auto-hidden";

    playing.viewer.panel->SetShowAlways(true);
    const RECT lowered = Adjusted(view);
    EXPECT_EQ(lowered.left, view.left);
    EXPECT_EQ(lowered.top, view.top);
    EXPECT_EQ(lowered.right, view.right);
    EXPECT_EQ(lowered.bottom, view.bottom - playing.viewer.panel->barHeight);
    EXPECT_GT(playing.viewer.panel->barHeight, 0);

    for (HWND control : Controls()) ShowWindow(control, SW_HIDE);
    const RECT hidden = Adjusted(view);
    EXPECT_TRUE(EqualRect(&hidden, &view)) << "shown always but hidden";
}

}  // namespace
