#include "PlayingViewer.h"

#include "host/support/MenuDriver.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "player/InfoTextBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;

const POINT CLICK_AT{120, 90};

// A right click in the host window; choose is the item to pick, empty to dismiss.
SeenMenu RightClick(PlayingViewer& playing, const std::wstring& choose) {
    MenuDriver driver(choose);
    EXPECT_EQ(playing.viewer.HandleMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(CLICK_AT.x, CLICK_AT.y)), 0);
    EXPECT_FALSE(playing.viewer.popupMenu) << "the menu is gone once the command runs";
    SeenMenu menu = driver.Result();
    EXPECT_TRUE(menu.shown);
    return menu;
}

class ContextMenu : public testing::Test {
protected:
    void SetUp() override {
        SetCursorPos(1200, 1000);
        ASSERT_TRUE(playing.Attach(L"sample.mp4"));
        ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    }

    SeenMenu RightClick(const std::wstring& choose) { return ::RightClick(playing, choose); }

    bool Layered() {
        int layered = 0;
        for (HWND control : {playing.PlayButton(), playing.StopButton(), playing.SeekBar()})
            layered += (GetWindowLongPtrW(control, GWL_EXSTYLE) & WS_EX_LAYERED) ? 1 : 0;
        EXPECT_TRUE(layered == 0 || layered == 3) << "the three controls look alike";
        return layered == 3;
    }

    PlayingViewer playing;
};

TEST_F(ContextMenu, OffersThePlaybackCommandsThatFitTheState) {
    SeenMenu menu = RightClick(L"");
    EXPECT_EQ(menu.Texts(), (Texts{L"Pause", L"Stop", L"Show Panel Always", L"Properties"}));
    std::vector<UINT> ids;
    for (const auto& item : menu.items) {
        ids.push_back(item.id);
        EXPECT_FALSE(item.checked) << Narrow(item.text);
    }
    EXPECT_EQ(ids, (std::vector<UINT>{2, 3, 4, 5}));
    POINT at = CLICK_AT;
    ClientToScreen(playing.host.pane(), &at);
    EXPECT_EQ(menu.bounds.left, at.x);
    EXPECT_EQ(menu.bounds.top, at.y);

    // Caught between the request and the session's answer.
    SendMessageW(playing.PlayButton(), BM_CLICK, 0, 0);
    ASSERT_EQ(playing.State(), PlayerState::PausePending);
    EXPECT_EQ(RightClick(L"").Texts(), (Texts{L"Play", L"Pause", L"Stop", L"Show Panel Always", L"Properties"}));

    ASSERT_TRUE(playing.WaitForState(PlayerState::Paused));
    EXPECT_EQ(RightClick(L"").Texts(), (Texts{L"Play", L"Stop", L"Show Panel Always", L"Properties"}));

    SendMessageW(playing.StopButton(), BM_CLICK, 0, 0);
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped));
    menu = RightClick(L"");
    EXPECT_EQ(menu.Texts(), (Texts{L"Play", L"Pause", L"Show Panel Always", L"Properties"}));
    EXPECT_EQ(menu.items[0].id, 1u);
    EXPECT_EQ(menu.items[1].id, 2u);
}

TEST_F(ContextMenu, DismissingItChangesNothing) {
    RightClick(L"");
    PumpMessages(300);
    EXPECT_EQ(playing.State(), PlayerState::Started);
    EXPECT_EQ(playing.PlayCaption(), L"||");
    EXPECT_FALSE(playing.viewer.panel->showAlways);
    EXPECT_TRUE(Layered());
    EXPECT_EQ(playing.viewer.player->InfoText(), nullptr);
}

TEST_F(ContextMenu, PlaybackCommandsMoveThePlayer) {
    RightClick(L"Pause");
    EXPECT_EQ(playing.State(), PlayerState::PausePending);
    EXPECT_EQ(playing.PlayCaption(), L">");
    ASSERT_TRUE(playing.WaitForState(PlayerState::Paused));

    RightClick(L"Play");
    EXPECT_EQ(playing.State(), PlayerState::StartPending);
    EXPECT_EQ(playing.PlayCaption(), L"||");
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));

    RightClick(L"Stop");
    EXPECT_EQ(playing.State(), PlayerState::StopPending);
    EXPECT_EQ(playing.PlayCaption(), L">");
    ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped));

    RightClick(L"Play");
    EXPECT_EQ(playing.PlayCaption(), L"||");
    EXPECT_TRUE(playing.WaitForState(PlayerState::Started));
}

TEST_F(ContextMenu, ShowPanelAlwaysSwitchesTheLookAndTheCheckMark) {
    ASSERT_TRUE(Layered());
    EXPECT_FALSE(RightClick(L"Show Panel Always").Find(L"Show Panel Always")->checked);
    EXPECT_TRUE(playing.viewer.panel->showAlways);
    EXPECT_FALSE(Layered());

    EXPECT_TRUE(RightClick(L"Show Panel Always").Find(L"Show Panel Always")->checked);
    EXPECT_FALSE(playing.viewer.panel->showAlways);
    EXPECT_TRUE(Layered());
    EXPECT_FALSE(RightClick(L"").Find(L"Show Panel Always")->checked);
}

TEST_F(ContextMenu, PropertiesShowsTheReportInABoxOwnedByTheVideoWindow) {
    BoxWatcher watcher;
    RightClick(L"Properties");
    ASSERT_TRUE(watcher.WaitFor(1, 5000));
    const InfoTextBuffer* info = playing.viewer.player->InfoText();
    ASSERT_NE(info, nullptr);
    const std::wstring report = info->buffer.get();
    EXPECT_EQ(report.rfind(L"\x25A0 Video Stream\nFrame Size : 320 x 240\n", 0), 0u) << Narrow(report);

    RightClick(L"Properties");
    ASSERT_TRUE(watcher.WaitFor(2, 5000));
    EXPECT_EQ(playing.viewer.player->InfoText(), info) << "the buffer is kept for later reports";
    for (const SeenBox& box : watcher.Seen()) {
        EXPECT_EQ(box.caption, L"Properties");
        EXPECT_EQ(box.text, report);
        EXPECT_EQ(box.owner, GetAncestor(playing.viewer.player->VideoWindow(), GA_ROOT));
    }
    EXPECT_EQ(playing.State(), PlayerState::Started);
}

// Clips so short or sparse that the session may report their end before, or instead of, their
// start, or never report the stop that follows: each must still end up stopped.
TEST(ShortMovies, EndStoppedEveryTime) {
    SetCursorPos(1200, 1000);
    for (const wchar_t* media : {L"short-48x144.mp4", L"black-1fps.mp4", L"png-4x4.mov"}) {
        for (int run = 0; run < 10; ++run) {
            SCOPED_TRACE(Narrow(media) + ", run " + std::to_string(run));
            PlayingViewer playing;
            ASSERT_TRUE(playing.Attach(media));
            ASSERT_TRUE(playing.WaitForState(PlayerState::Stopped, 20000)) << static_cast<int>(playing.State());
            EXPECT_TRUE(PumpUntil([&] { return playing.PlayCaption() == L">"; }, 3000));
            int32_t milliseconds = -1;
            EXPECT_EQ(playing.QueryPosition(&milliseconds), 0);
            EXPECT_EQ(milliseconds, 0);
            EXPECT_EQ(RightClick(playing, L"").Texts(), (Texts{L"Play", L"Pause", L"Show Panel Always", L"Properties"}));
        }
    }
}

TEST(ContextMenuBeforeAttach, ARightClickShowsNothing) {
    PlayingViewer opened;
    ASSERT_EQ(opened.viewer.Open(MediaPath(L"sample.mp4").c_str()), 0);
    MenuDriver driver(L"");
    EXPECT_EQ(opened.viewer.HandleMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(CLICK_AT.x, CLICK_AT.y)), 0);
    EXPECT_FALSE(driver.Result().shown);
    EXPECT_EQ(opened.State(), PlayerState::Ready);
}

}  // namespace
