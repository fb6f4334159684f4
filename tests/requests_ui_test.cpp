// The viewer's playback requests (panel buttons, seek-bar drags, the refresh timer) against a
// session double. The handlers move the keyboard focus, so this program runs apart from others
// that use the desktop.

#include "viewer/ExtViewMF.h"

#include "FakeSession.h"
#include "FakeSource.h"
#include "PlayerTestSupport.h"
#include "TestSupport.h"

#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <mfapi.h>
#include <mferror.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr int64_t FIVE_SECONDS = 50'000'000;

int64_t BarToPosition(int64_t value, int64_t duration) { return value * duration / SEEK_BAR_MAX; }
int BarValue(int64_t position, int64_t duration) { return static_cast<int>(position * SEEK_BAR_MAX / duration); }

// A viewer attached by hand: its player on a session double (event loop armed, events posted
// to the host window) with a source double, and its panel in a host window's pane.
class ViewerRig {
public:
    explicit ViewerRig(int64_t duration = FIVE_SECONDS, bool withPanel = true) {
        session.Attach(new FakeSession);
        session->closeReportsClosed = false;
        source.Attach(new FakeSource);
        player = new CPlayer;
        viewer.player.reset(player);
        player->Adopt(session.Get(), source.Get());
        session->BeginGetEvent(player, nullptr);
        player->AdoptPresentation(withPanel ? host.pane() : nullptr, nullptr, nullptr, duration);
        if (!withPanel) return;

        viewer.panel.reset(new UIPanel);
        viewer.panel->Create(host.pane());
        SendMessageW(viewer.panel->seekBar, PBM_SETRANGE, 0, MAKELPARAM(0, SEEK_BAR_MAX));
        viewer.hostWindow = host.pane();
        viewer.seekScaleDuration = duration;
        host.SetViewer(&viewer);
    }

    UIPanel& panel() { return *viewer.panel; }
    std::wstring Caption() {
        wchar_t text[16] = {};
        GetWindowTextW(panel().playButton, text, 16);
        return text;
    }
    void SetCaption(const wchar_t* caption) { SetWindowTextW(panel().playButton, caption); }
    int Bar() { return static_cast<int>(SendMessageW(panel().seekBar, PBM_GETPOS, 0, 0)); }
    void SetBar(int value) { SendMessageW(panel().seekBar, PBM_SETPOS, value, 0); }

    void Enter(PlayerState state, PlayerState resume = PlayerState::Started) {
        player->SetState(state);
        player->AdoptResumeState(resume);
    }
    int32_t Click(int id, int code = BN_CLICKED) {
        return viewer.HandleMessage(WM_COMMAND, MAKEWPARAM(id, code), 0);
    }
    int32_t Scroll(int code, int thumb = 0) {
        return viewer.HandleMessage(WM_HSCROLL, MAKEWPARAM(code, thumb), reinterpret_cast<LPARAM>(panel().seekBar));
    }
    int32_t Tick() { return viewer.HandleMessage(WM_TIMER, REFRESH_TIMER_ID, 0); }

    // The session reports: the event travels through the player's callback and the host window.
    void Report(MediaEventType type) {
        ASSERT_TRUE(session->Fire(type));
        DispatchWaiting();
    }

    HostWindow host;
    ComPtr<FakeSession> session;
    ComPtr<FakeSource> source;
    ExtViewMF viewer;
    CPlayer* player = nullptr;
};

class RequestsTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL)); }
    static void TearDownTestSuite() { MFShutdown(); }
};

// ---------------------------------------------------------------- buttons

TEST_F(RequestsTest, PlayPauseButtonPausesUnlessPausedOrStopped) {
    const struct {
        PlayerState before;
        RequestList requests;
        PlayerState after;
        PlayerState resumeAfter;
        const wchar_t* caption;
    } cases[] = {
        {PlayerState::Started, {"Pause"}, PlayerState::PausePending, PlayerState::Paused, L">"},
        {PlayerState::StartPending, {"Pause"}, PlayerState::PausePending, PlayerState::Paused, L">"},
        {PlayerState::PausePending, {"Pause"}, PlayerState::PausePending, PlayerState::Paused, L">"},
        {PlayerState::Paused, {StartFromCurrent()}, PlayerState::StartPending, PlayerState::Started, L"||"},
        {PlayerState::Stopped, {StartFromCurrent()}, PlayerState::StartPending, PlayerState::Started, L"||"},
    };
    ViewerRig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        rig.session->ClearCalls();
        rig.Enter(c.before, PlayerState::Paused);
        rig.SetCaption(L"-");
        SetFocus(rig.panel().playButton);
        EXPECT_EQ(0, rig.Click(PLAY_BUTTON_ID));
        EXPECT_EQ(c.requests, Requests(rig.session));
        EXPECT_EQ(c.after, rig.player->State());
        EXPECT_EQ(c.resumeAfter, rig.player->ResumeState());
        EXPECT_EQ(c.caption, rig.Caption());
        EXPECT_EQ(rig.host.pane(), GetFocus());
    }
}

TEST_F(RequestsTest, StopButtonStopsFromAnyState) {
    ViewerRig rig;
    for (PlayerState before : {PlayerState::Started, PlayerState::Paused, PlayerState::StartPending,
                               PlayerState::Stopped}) {
        SCOPED_TRACE(testing::Message() << before);
        rig.session->ClearCalls();
        rig.Enter(before);
        rig.SetCaption(L"||");
        EXPECT_EQ(0, rig.Click(STOP_BUTTON_ID));
        EXPECT_EQ((RequestList{"Stop"}), Requests(rig.session));
        EXPECT_EQ(PlayerState::StopPending, rig.player->State());
        EXPECT_EQ(L">", rig.Caption());
    }
}

TEST_F(RequestsTest, FailedRequestChangesNothing) {
    const struct {
        const char* what;
        PlayerState before;
        int button;
        HRESULT FakeSession::*result;
        RequestList requests;
    } cases[] = {
        {"pause", PlayerState::Started, PLAY_BUTTON_ID, &FakeSession::pauseResult, {"Pause"}},
        {"resume", PlayerState::Paused, PLAY_BUTTON_ID, &FakeSession::startResult, {StartFromCurrent()}},
        {"play after stop", PlayerState::Stopped, PLAY_BUTTON_ID, &FakeSession::startResult, {StartFromCurrent()}},
        {"stop", PlayerState::Started, STOP_BUTTON_ID, &FakeSession::stopResult, {"Stop"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ViewerRig rig;
        rig.session.Get()->*c.result = MF_E_INVALIDREQUEST;
        rig.Enter(c.before, PlayerState::Paused);
        rig.SetCaption(L"-");
        EXPECT_EQ(-1, rig.Click(c.button));
        EXPECT_EQ(c.requests, Requests(rig.session));
        EXPECT_EQ(c.before, rig.player->State());
        EXPECT_EQ(PlayerState::Paused, rig.player->ResumeState());
        EXPECT_EQ(L"-", rig.Caption());
    }
}

TEST_F(RequestsTest, RequestWithoutItsObjectsIsRefusedUnasked) {
    ViewerRig rig;
    rig.SetCaption(L"-");
    rig.player->Adopt(rig.session.Get(), nullptr);
    rig.Enter(PlayerState::Started);
    EXPECT_EQ(-1, rig.Click(PLAY_BUTTON_ID)) << "pause without a source";
    rig.Enter(PlayerState::Paused);
    EXPECT_EQ(-1, rig.Click(PLAY_BUTTON_ID)) << "resume without a source";
    EXPECT_EQ(-1, rig.viewer.Play());
    rig.player->Adopt(nullptr, nullptr);
    EXPECT_EQ(-1, rig.Click(STOP_BUTTON_ID)) << "stop without a session";
    EXPECT_TRUE(Requests(rig.session).empty());
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
    EXPECT_EQ(L"-", rig.Caption());

    ExtViewMF empty;
    EXPECT_EQ(-1, empty.HandleMessage(WM_COMMAND, MAKEWPARAM(PLAY_BUTTON_ID, BN_CLICKED), 0));
    EXPECT_EQ(-1, empty.HandleMessage(WM_COMMAND, MAKEWPARAM(STOP_BUTTON_ID, BN_CLICKED), 0));
    EXPECT_EQ(-1, empty.Play());
    EXPECT_EQ(-1, empty.SeekTo(FIVE_SECONDS / 2));
}

TEST_F(RequestsTest, CommandsNotFromAClickOnItsButtonsAreLeftAlone) {
    ViewerRig rig;
    rig.Enter(PlayerState::Started);
    rig.SetCaption(L"||");
    const struct {
        int id;
        int code;
    } cases[] = {{PLAY_BUTTON_ID, BN_SETFOCUS}, {PLAY_BUTTON_ID, BN_KILLFOCUS}, {STOP_BUTTON_ID, 1},
                 {SEEK_BAR_ID, BN_CLICKED},     {0, BN_CLICKED},             {4, BN_CLICKED}};
    for (const auto& c : cases) {
        EXPECT_EQ(0, rig.Click(c.id, c.code)) << c.id << "/" << c.code;
    }
    EXPECT_TRUE(Requests(rig.session).empty());
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_EQ(L"||", rig.Caption());
}

TEST_F(RequestsTest, PlayWhileAStartIsPendingOnlyTurnsItIntoPlaying) {
    ViewerRig rig;
    // A seek made while paused is under way: it would end paused.
    rig.Enter(PlayerState::StartPending, PlayerState::Paused);
    rig.SetCaption(L">");
    EXPECT_EQ(0, rig.viewer.Play());
    EXPECT_TRUE(Requests(rig.session).empty());
    EXPECT_EQ(PlayerState::StartPending, rig.player->State());
    EXPECT_EQ(PlayerState::Started, rig.player->ResumeState());
    EXPECT_EQ(L"||", rig.Caption());

    rig.Report(MESessionStarted);
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_TRUE(Requests(rig.session).empty()) << "paused again";
}

// ---------------------------------------------------------------- seeking

TEST_F(RequestsTest, SeekIsRefusedWhereNothingCanBeSought) {
    ViewerRig rig;
    for (PlayerState state : {PlayerState::Closed, PlayerState::Ready, PlayerState::OpenPending,
                              PlayerState::StopPending, PlayerState::Stopped, PlayerState::Closing}) {
        SCOPED_TRACE(testing::Message() << state);
        rig.Enter(state);
        rig.SetBar(1234);
        EXPECT_EQ(-1, rig.viewer.SeekTo(FIVE_SECONDS / 2));
        EXPECT_EQ(1234, rig.Bar());
        EXPECT_EQ(0, rig.player->PendingSeek());
    }
    EXPECT_TRUE(Requests(rig.session).empty());

    rig.session->startResult = MF_E_INVALIDREQUEST;
    rig.Enter(PlayerState::Paused);
    EXPECT_EQ(-1, rig.viewer.SeekTo(FIVE_SECONDS / 2)) << "a start that fails";
    EXPECT_EQ(1234, rig.Bar());
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
}

TEST_F(RequestsTest, SeekMovesTheBarWhenRequestedOrDeferred) {
    constexpr int64_t target = 30'000'000;
    const struct {
        PlayerState before;
        RequestList requests;
        LONGLONG pendingSeek;
    } cases[] = {
        {PlayerState::Started, {StartAt(target)}, 0},
        {PlayerState::Paused, {StartAt(target)}, 0},
        {PlayerState::StartPending, {}, target},
        {PlayerState::PausePending, {}, target},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        ViewerRig rig;
        rig.Enter(c.before);
        EXPECT_EQ(0, rig.viewer.SeekTo(target));
        EXPECT_EQ(c.requests, Requests(rig.session));
        EXPECT_EQ(c.pendingSeek, rig.player->PendingSeek());
        EXPECT_EQ(BarValue(target, FIVE_SECONDS), rig.Bar());

        // A deferred seek to the start is no seek, yet the bar goes there.
        if (c.pendingSeek == 0) continue;
        EXPECT_EQ(0, rig.viewer.SeekTo(0));
        EXPECT_EQ(0, rig.player->PendingSeek());
        EXPECT_EQ(0, rig.Bar());
    }
}

TEST_F(RequestsTest, SeekWhilePausedEndsPausedAtTheNewPlace) {
    ViewerRig rig;
    rig.Enter(PlayerState::Paused);
    rig.SetCaption(L">");
    EXPECT_EQ(0, rig.viewer.SeekTo(40'000'000));
    rig.Report(MESessionStarted);
    EXPECT_EQ(PlayerState::PausePending, rig.player->State());
    rig.Report(MESessionPaused);
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
    EXPECT_EQ((RequestList{StartAt(40'000'000), "Pause"}), Requests(rig.session));
    EXPECT_EQ(BarValue(40'000'000, FIVE_SECONDS), rig.Bar());
    EXPECT_EQ(L">", rig.Caption());
}

// ---------------------------------------------------------------- seek-bar drags

TEST_F(RequestsTest, DragWhilePlayingPausesDefersTheSeekAndResumesAtTheEnd) {
    ViewerRig rig;
    rig.Enter(PlayerState::Started);
    rig.SetCaption(L"||");

    EXPECT_EQ(0, rig.Scroll(SB_THUMBTRACK, 32768));
    EXPECT_EQ((RequestList{"Pause"}), Requests(rig.session));
    EXPECT_EQ(PlayerState::PausePending, rig.player->State());
    EXPECT_TRUE(rig.viewer.resumeAfterDrag);
    EXPECT_EQ(L"||", rig.Caption());
    EXPECT_EQ(BarToPosition(32768, FIVE_SECONDS), rig.player->PendingSeek());

    EXPECT_EQ(0, rig.Scroll(SB_THUMBTRACK, 16384));
    const int64_t target = BarToPosition(16384, FIVE_SECONDS);
    EXPECT_EQ(target, rig.player->PendingSeek());
    EXPECT_EQ(BarValue(target, FIVE_SECONDS), rig.Bar());

    EXPECT_EQ(0, rig.Scroll(SB_ENDSCROLL));
    EXPECT_FALSE(rig.viewer.resumeAfterDrag);
    EXPECT_EQ(PlayerState::StartPending, rig.player->State());

    // The session completes the pause, then the start, which issues the dragged-to position.
    rig.Report(MESessionPaused);
    rig.Report(MESessionStarted);
    rig.Report(MESessionStarted);
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_EQ(0, rig.player->PendingSeek());
    EXPECT_EQ((RequestList{"Pause", StartFromCurrent(), StartAt(target)}), Requests(rig.session));
    EXPECT_EQ(L"||", rig.Caption());
}

TEST_F(RequestsTest, DragWhileStoppedPlaysFirstAndDefersTheSeek) {
    ViewerRig rig;
    rig.Enter(PlayerState::Stopped);
    rig.SetCaption(L">");
    EXPECT_EQ(0, rig.Scroll(SB_THUMBTRACK, 32768));
    EXPECT_EQ((RequestList{StartFromCurrent()}), Requests(rig.session));
    EXPECT_EQ(PlayerState::StartPending, rig.player->State());
    EXPECT_EQ(BarToPosition(32768, FIVE_SECONDS), rig.player->PendingSeek());
    EXPECT_FALSE(rig.viewer.resumeAfterDrag);
    EXPECT_EQ(L"||", rig.Caption());
}

TEST_F(RequestsTest, DragWhilePausedSeeksAtOnceAndStaysPaused) {
    ViewerRig rig;
    rig.Enter(PlayerState::Paused);
    EXPECT_EQ(0, rig.Scroll(SB_THUMBPOSITION, SEEK_BAR_MAX));
    EXPECT_EQ((RequestList{StartAt(FIVE_SECONDS)}), Requests(rig.session));
    EXPECT_EQ(PlayerState::Paused, rig.player->ResumeState());
    EXPECT_FALSE(rig.viewer.resumeAfterDrag);
    EXPECT_EQ(SEEK_BAR_MAX, rig.Bar());
    EXPECT_EQ(0, rig.Scroll(SB_ENDSCROLL));
    EXPECT_EQ((RequestList{StartAt(FIVE_SECONDS)}), Requests(rig.session));
}

TEST_F(RequestsTest, DragWhoseFirstRequestFailsDoesNotSeek) {
    const struct {
        PlayerState before;
        HRESULT FakeSession::*result;
    } cases[] = {{PlayerState::Started, &FakeSession::pauseResult}, {PlayerState::Stopped, &FakeSession::startResult}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        ViewerRig rig;
        rig.session.Get()->*c.result = MF_E_INVALIDREQUEST;
        rig.Enter(c.before);
        rig.SetBar(1234);
        EXPECT_EQ(-1, rig.Scroll(SB_THUMBTRACK, 32768));
        EXPECT_EQ(1u, Requests(rig.session).size());
        EXPECT_EQ(c.before, rig.player->State());
        EXPECT_FALSE(rig.viewer.resumeAfterDrag);
        EXPECT_EQ(0, rig.player->PendingSeek());
        EXPECT_EQ(1234, rig.Bar());
    }
}

TEST_F(RequestsTest, DragEndResumesOnlyWhatTheDragPausedAndNotAfterAStop) {
    ViewerRig rig;
    rig.Enter(PlayerState::Stopped);
    rig.viewer.resumeAfterDrag = true;
    EXPECT_EQ(0, rig.Scroll(SB_ENDSCROLL));
    EXPECT_FALSE(rig.viewer.resumeAfterDrag);
    rig.Enter(PlayerState::Paused);
    EXPECT_EQ(0, rig.Scroll(SB_ENDSCROLL));
    EXPECT_TRUE(Requests(rig.session).empty());
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
}

TEST_F(RequestsTest, OtherScrollCodesSeekToTheBarsOwnPosition) {
    ViewerRig rig;
    for (int code : {SB_LINELEFT, SB_LINERIGHT, SB_PAGELEFT, SB_PAGERIGHT, SB_TOP, SB_BOTTOM, 9}) {
        SCOPED_TRACE(code);
        rig.session->ClearCalls();
        rig.Enter(PlayerState::Paused);
        rig.SetBar(20000);
        EXPECT_EQ(0, rig.Scroll(code, 500));
        EXPECT_EQ((RequestList{StartAt(BarToPosition(20000, FIVE_SECONDS))}), Requests(rig.session));
    }
}

TEST_F(RequestsTest, ScrollFromAnotherControlIsLeftAlone) {
    ViewerRig rig;
    rig.Enter(PlayerState::Started);
    SetFocus(rig.panel().stopButton);
    for (HWND other : {rig.panel().playButton, rig.host.pane(), static_cast<HWND>(nullptr)}) {
        EXPECT_EQ(0, rig.viewer.HandleMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 32768),
                                              reinterpret_cast<LPARAM>(other)));
    }
    EXPECT_TRUE(Requests(rig.session).empty());
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_FALSE(rig.viewer.resumeAfterDrag);
    EXPECT_EQ(rig.panel().stopButton, GetFocus());
}

// ---------------------------------------------------------------- refresh timer and position

TEST_F(RequestsTest, RefreshTickFollowsTheStateAndThePositionQueryAgrees) {
    const struct {
        PlayerState state;
        int bar;
        const wchar_t* caption;
        int32_t positionResult;
    } cases[] = {
        {PlayerState::Started, 30000, L"||", -1},  // no clock to read
        {PlayerState::StartPending, 30000, L"||", -1},
        {PlayerState::PausePending, 30000, L"||", -1},
        {PlayerState::Paused, 30000, L"||", -1},
        {PlayerState::StopPending, 0, L"||", 0},
        {PlayerState::Stopped, 0, L">", 0},
    };
    ViewerRig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state);
        rig.Enter(c.state);
        rig.SetBar(30000);
        rig.SetCaption(L"||");
        EXPECT_EQ(2, rig.Tick());
        EXPECT_EQ(c.bar, rig.Bar());
        EXPECT_EQ(c.caption, rig.Caption());

        int32_t position = 77;
        EXPECT_EQ(c.positionResult, rig.viewer.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0));
        EXPECT_EQ(c.positionResult == 0 ? 0 : 77, position);
    }
    EXPECT_EQ(0, rig.viewer.HandleMessage(WM_TIMER, REFRESH_TIMER_ID + 1, 0));
    EXPECT_TRUE(Requests(rig.session).empty());
}

TEST_F(RequestsTest, RefreshTickWithoutAScaleLeavesTheBarAndWithoutAPanelDoesNothing) {
    ViewerRig rig;
    rig.viewer.seekScaleDuration = 0;
    rig.Enter(PlayerState::Stopped);
    rig.SetBar(30000);
    EXPECT_EQ(2, rig.Tick());
    EXPECT_EQ(30000, rig.Bar());
    EXPECT_EQ(L">", rig.Caption());

    ViewerRig unattached(FIVE_SECONDS, false);
    unattached.Enter(PlayerState::Stopped);
    EXPECT_EQ(2, unattached.Tick());
}

TEST_F(RequestsTest, StartReportAfterAStopLeavesItStopped) {
    ViewerRig rig;
    rig.Enter(PlayerState::Started);
    rig.SetBar(30000);
    EXPECT_EQ(0, rig.Click(STOP_BUTTON_ID));
    EXPECT_EQ(2, rig.Tick());
    EXPECT_EQ(0, rig.Bar());
    rig.Report(MESessionStopped);
    rig.SetCaption(L"||");
    rig.Report(MESessionStarted);
    EXPECT_EQ(PlayerState::Stopped, rig.player->State());
    EXPECT_EQ(2, rig.Tick());
    EXPECT_EQ(L">", rig.Caption());
    EXPECT_EQ((RequestList{"Stop"}), Requests(rig.session));
}

// ---------------------------------------------------------------- two viewers

TEST_F(RequestsTest, EachViewerKeepsItsOwnSeekScale) {
    constexpr int64_t longer = 1'000'000'000;
    constexpr int64_t shorter = 250'000'000;
    ViewerRig first(longer);
    ViewerRig second(shorter);
    for (ViewerRig* rig : {&first, &second}) {
        rig->Enter(PlayerState::StartPending);
        EXPECT_EQ(0, rig->viewer.SeekTo(200'000'000));
    }
    EXPECT_EQ(BarValue(200'000'000, longer), first.Bar());
    EXPECT_EQ(BarValue(200'000'000, shorter), second.Bar());

    for (ViewerRig* rig : {&first, &second}) {
        rig->Enter(PlayerState::Paused);
        EXPECT_EQ(0, rig->Scroll(SB_THUMBTRACK, 32768));
    }
    EXPECT_EQ((RequestList{StartAt(BarToPosition(32768, longer))}), Requests(first.session));
    EXPECT_EQ((RequestList{StartAt(BarToPosition(32768, shorter))}), Requests(second.session));
}

}  // namespace
