// The player's event loop (Invoke) and its state machine (HandleEvent): which events it posts
// or handles, what each report makes of the state, and the requests the reports issue.

#include "player/CPlayer.h"

#include "FakeSession.h"
#include "FakeSource.h"
#include "PlayerTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>

using Microsoft::WRL::ComPtr;

namespace {

// ---------------------------------------------------------------- the event loop (Invoke)

TEST_F(PlayerTest, EventLoopRearmsAfterEveryEventButTheCloseReport) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::Started);
    const MediaEventType types[] = {MESessionStarted,        MESessionPaused,   MESessionStopped,
                                    MEEndOfPresentation,     MENewPresentation, MESessionTopologyStatus,
                                    MESessionEnded,          MEError,           MESessionCapabilitiesChanged};
    for (MediaEventType type : types) {
        ASSERT_TRUE(rig.session->Fire(type)) << type;
        EXPECT_TRUE(rig.session->Armed()) << type;
        ASSERT_TRUE(rig.session->Fire(type, MF_E_INVALIDREQUEST)) << type;
        EXPECT_TRUE(rig.session->Armed()) << "failed " << type;
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(rig.player->CloseEvent(), 0));

    ASSERT_TRUE(rig.session->Fire(MESessionClosed));
    EXPECT_FALSE(rig.session->Armed());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(rig.player->CloseEvent(), 0));
}

TEST_F(PlayerTest, NothingIsForwardedWhileClosing) {
    PlayerRig rig;
    MessageWindow window;
    rig.player->SetState(PlayerState::Closing);

    const ComPtr<IMFMediaEvent> stopped = MakeEvent(MESessionStopped);
    ASSERT_TRUE(rig.session->Fire(stopped.Get()));
    EXPECT_EQ(PlayerState::Closing, rig.player->State()) << "handled on the spot";
    EXPECT_EQ(1u, References(stopped.Get()));

    rig.player->AdoptPresentation(window.get(), nullptr, nullptr, 0);
    const ComPtr<IMFMediaEvent> closed = MakeEvent(MESessionClosed);
    ASSERT_TRUE(rig.session->Fire(stopped.Get()));
    ASSERT_TRUE(rig.session->Fire(closed.Get()));
    MSG message;
    EXPECT_FALSE(window.TakePlayerEvent(&message));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(rig.player->CloseEvent(), 0));
    EXPECT_EQ(1u, References(stopped.Get()));
    EXPECT_EQ(1u, References(closed.Get()));
}

TEST_F(PlayerTest, AttachedPlayerPostsEachEventWithItsTypeAndOneReference) {
    PlayerRig rig;
    MessageWindow window;
    rig.player->SetState(PlayerState::PausePending);
    rig.player->AdoptPresentation(window.get(), nullptr, nullptr, 0);

    const ComPtr<IMFMediaEvent> paused = MakeEvent(MESessionPaused);
    ASSERT_TRUE(rig.session->Fire(paused.Get()));
    EXPECT_EQ(PlayerState::PausePending, rig.player->State()) << "handled on the callback's thread";
    EXPECT_EQ(2u, References(paused.Get()));

    MSG message;
    ASSERT_TRUE(window.TakePlayerEvent(&message));
    EXPECT_EQ(paused.Get(), reinterpret_cast<IMFMediaEvent*>(message.wParam));
    EXPECT_EQ(static_cast<LPARAM>(MESessionPaused), message.lParam);
    EXPECT_FALSE(window.TakePlayerEvent(&message));

    EXPECT_EQ(S_OK, rig.player->HandleEvent(paused.Get()));
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
    EXPECT_EQ(1u, References(paused.Get()));
}

TEST_F(PlayerTest, UnattachedPlayerHandlesEachEventOnTheSpot) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::PausePending);
    const ComPtr<IMFMediaEvent> paused = MakeEvent(MESessionPaused);
    ASSERT_TRUE(rig.session->Fire(paused.Get()));
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
    EXPECT_EQ(1u, References(paused.Get()));
}

TEST_F(PlayerTest, EventThatCannotBePostedGivesItsReferenceBack) {
    PlayerRig rig;
    const HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(gone);
    DestroyWindow(gone);
    rig.player->SetState(PlayerState::PausePending);
    rig.player->AdoptPresentation(gone, nullptr, nullptr, 0);

    const ComPtr<IMFMediaEvent> paused = MakeEvent(MESessionPaused);
    ASSERT_TRUE(rig.session->Fire(paused.Get()));
    EXPECT_EQ(1u, References(paused.Get()));
    EXPECT_EQ(PlayerState::PausePending, rig.player->State());
    EXPECT_TRUE(rig.session->Armed());
}

// ---------------------------------------------------------------- HandleEvent

TEST_F(PlayerTest, HandleEventRefusesNoEvent) {
    PlayerRig rig;
    EXPECT_EQ(E_POINTER, rig.player->HandleEvent(nullptr));
}

TEST_F(PlayerTest, FailedEventEndsOpeningOnlyAndIsNeverActedOn) {
    const struct {
        PlayerState before;
        PlayerState after;
    } cases[] = {
        {PlayerState::OpenPending, PlayerState::Closing}, {PlayerState::Ready, PlayerState::Ready},
        {PlayerState::StartPending, PlayerState::StartPending}, {PlayerState::Started, PlayerState::Started},
        {PlayerState::Paused, PlayerState::Paused},
        // Only a stop report, failed or not, completes a pending stop.
        {PlayerState::StopPending, PlayerState::Stopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        PlayerRig rig;
        rig.player->SetState(c.before);
        EXPECT_EQ(MF_E_INVALIDREQUEST, Deliver(rig.player.Get(), MEEndOfPresentation, MF_E_INVALIDREQUEST));
        EXPECT_EQ(MF_E_TOPO_CODEC_NOT_FOUND,
                  rig.player->HandleEvent(TopologyStatusEvent(MF_TOPOSTATUS_READY, MF_E_TOPO_CODEC_NOT_FOUND).Detach()));
        EXPECT_EQ(E_FAIL, Deliver(rig.player.Get(), MESessionStopped, E_FAIL));
        EXPECT_EQ(c.after, rig.player->State());
        EXPECT_TRUE(Requests(rig.session).empty());
    }
}

TEST_F(PlayerTest, StartReportedAfterTheEndOrAStopRequestLeavesTheStopPending) {
    constexpr LONGLONG seek = 25'000'000;
    for (bool ended : {true, false}) {
        SCOPED_TRACE(ended ? "end of presentation" : "stop request");
        PlayerRig rig;
        rig.player->SetState(PlayerState::StartPending);
        rig.player->AdoptResumeState(PlayerState::Started);
        DeferSeek(rig.player.Get(), seek);
        if (ended) {
            ASSERT_TRUE(rig.session->Fire(MEEndOfPresentation));
        } else {
            ASSERT_EQ(S_OK, rig.player->RequestStop());
        }
        ASSERT_EQ(PlayerState::StopPending, rig.player->State());
        ASSERT_TRUE(rig.session->Fire(MESessionStarted));
        EXPECT_EQ(PlayerState::StopPending, rig.player->State());
        EXPECT_EQ(0, rig.player->PendingSeek()) << "a stop drops a deferred seek";
        // As the platform reports the stop of a session that has already reached its end.
        ASSERT_TRUE(rig.session->Fire(MESessionStopped, MF_E_INVALIDREQUEST));
        EXPECT_EQ(PlayerState::Stopped, rig.player->State());
        EXPECT_EQ(RequestList{"Stop"}, Requests(rig.session));
        EXPECT_TRUE(rig.session->Armed());
    }
}

TEST_F(PlayerTest, StopNeverReportedIsTakenAsDoneOnceOverdue) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::Started);
    const ULONGLONG requested = GetTickCount64();
    ASSERT_EQ(S_OK, rig.player->RequestStop());
    const ULONGLONG due = GetTickCount64() + PlatformQuirks::STOP_REPORT_WAIT_MS;
    EXPECT_FALSE(rig.player->EndOverdueStop(requested + PlatformQuirks::STOP_REPORT_WAIT_MS - 1));
    EXPECT_EQ(PlayerState::StopPending, rig.player->State());
    EXPECT_TRUE(rig.player->EndOverdueStop(due));
    EXPECT_EQ(PlayerState::Stopped, rig.player->State());
    // Reports that come after all leave it stopped.
    ASSERT_TRUE(rig.session->Fire(MESessionStarted));
    ASSERT_TRUE(rig.session->Fire(MESessionStopped));
    EXPECT_EQ(PlayerState::Stopped, rig.player->State());

    for (PlayerState other : {PlayerState::StartPending, PlayerState::Started, PlayerState::Closing}) {
        rig.player->SetState(other);
        EXPECT_FALSE(rig.player->EndOverdueStop(due + 60000));
        EXPECT_EQ(other, rig.player->State());
    }
    EXPECT_EQ(RequestList{"Stop"}, Requests(rig.session));
}

TEST_F(PlayerTest, UnderWineAnEndNeverReportedStopsOnceTheClockIsWellPastTheDuration) {
    PlayerRig rig;
    rig.player->AdoptPresentation(nullptr, nullptr, nullptr, 10000000);
    const LONGLONG due = rig.player->Duration() + PlatformQuirks::END_REPORT_WAIT;
    for (PlayerState other : {PlayerState::StartPending, PlayerState::Paused, PlayerState::StopPending}) {
        rig.player->SetState(other);
        EXPECT_FALSE(rig.player->EndOverduePresentation(due));
    }
    rig.player->SetState(PlayerState::Started);
    EXPECT_FALSE(rig.player->EndOverduePresentation(due - 1));
    EXPECT_EQ(RequestList{}, Requests(rig.session));
    EXPECT_TRUE(rig.player->EndOverduePresentation(due));
    EXPECT_EQ(PlayerState::StopPending, rig.player->State());
    EXPECT_EQ(RequestList{"Stop"}, Requests(rig.session));
}

TEST_F(PlayerTest, StartReportTakesTheResumeStateAndIssuesWhatWasWaiting) {
    constexpr LONGLONG seek = 25'000'000;
    const struct {
        const char* what;
        PlayerState before;
        PlayerState resume;
        LONGLONG pendingSeek;
        HRESULT requestResult;
        PlayerState after;
        PlayerState resumeAfter;
        RequestList requests;
    } cases[] = {
        {"plays", PlayerState::StartPending, PlayerState::Started, 0, S_OK, PlayerState::Started,
         PlayerState::Started, {}},
        {"pauses again after a seek made while paused", PlayerState::StartPending, PlayerState::Paused, 0, S_OK,
         PlayerState::PausePending, PlayerState::Paused, {"Pause"}},
        {"stays paused when that pause fails", PlayerState::StartPending, PlayerState::Paused, 0, E_FAIL,
         PlayerState::Paused, PlayerState::Paused, {"Pause"}},
        {"issues a deferred seek while playing", PlayerState::StartPending, PlayerState::Started, seek, S_OK,
         PlayerState::StartPending, PlayerState::Started, {StartAt(seek)}},
        {"issues a deferred seek while paused, pausing only after it", PlayerState::StartPending,
         PlayerState::Paused, seek, S_OK, PlayerState::StartPending, PlayerState::Paused, {StartAt(seek)}},
        {"drops a deferred seek whose start fails", PlayerState::StartPending, PlayerState::Started, seek, E_FAIL,
         PlayerState::Started, PlayerState::Started, {StartAt(seek)}},
        {"drops a deferred seek when resuming neither playing nor paused", PlayerState::StartPending,
         PlayerState::StopPending, seek, S_OK, PlayerState::StopPending, PlayerState::StopPending, {}},
        {"stays stopped after a stop", PlayerState::Stopped, PlayerState::Started, 0, S_OK, PlayerState::Stopped,
         PlayerState::Started, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlayerRig rig;
        rig.session->startResult = c.requestResult;
        rig.session->pauseResult = c.requestResult;
        rig.player->SetState(c.before);
        rig.player->AdoptResumeState(c.resume);
        DeferSeek(rig.player.Get(), c.pendingSeek);
        EXPECT_EQ(S_OK, Deliver(rig.player.Get(), MESessionStarted));
        EXPECT_EQ(c.after, rig.player->State());
        EXPECT_EQ(c.resumeAfter, rig.player->ResumeState());
        EXPECT_EQ(0, rig.player->PendingSeek());
        EXPECT_EQ(c.requests, Requests(rig.session));
    }
}

TEST_F(PlayerTest, PauseStopAndEndReportsMoveTheState) {
    const struct {
        MediaEventType type;
        PlayerState before;
        HRESULT stopResult;
        PlayerState after;
        RequestList requests;
    } cases[] = {
        {MESessionPaused, PlayerState::PausePending, S_OK, PlayerState::Paused, {}},
        {MESessionPaused, PlayerState::StartPending, S_OK, PlayerState::Paused, {}},
        {MESessionPaused, PlayerState::StopPending, S_OK, PlayerState::Paused, {}},
        {MESessionPaused, PlayerState::Stopped, S_OK, PlayerState::Stopped, {}},
        {MESessionStopped, PlayerState::StopPending, S_OK, PlayerState::Stopped, {}},
        {MESessionStopped, PlayerState::Started, S_OK, PlayerState::Stopped, {}},
        {MESessionStopped, PlayerState::PausePending, S_OK, PlayerState::Stopped, {}},
        {MEEndOfPresentation, PlayerState::Started, S_OK, PlayerState::StopPending, {"Stop"}},
        {MEEndOfPresentation, PlayerState::Started, E_FAIL, PlayerState::Started, {"Stop"}},
        {MESessionEnded, PlayerState::Started, S_OK, PlayerState::Started, {}},
        {MESessionClosed, PlayerState::Paused, S_OK, PlayerState::Paused, {}},
        {MESessionCapabilitiesChanged, PlayerState::StartPending, S_OK, PlayerState::StartPending, {}},
        {MEUnknown, PlayerState::StopPending, S_OK, PlayerState::StopPending, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.type << " in " << c.before);
        PlayerRig rig;
        rig.session->stopResult = c.stopResult;
        rig.player->SetState(c.before);
        rig.player->AdoptResumeState(PlayerState::Paused);
        EXPECT_EQ(S_OK, Deliver(rig.player.Get(), c.type));
        EXPECT_EQ(c.after, rig.player->State());
        EXPECT_EQ(PlayerState::Paused, rig.player->ResumeState());
        EXPECT_EQ(c.requests, Requests(rig.session));
    }
}

TEST_F(PlayerTest, TopologyStatusOtherThanReadyDoesNothing) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::OpenPending);
    for (UINT32 status : {MF_TOPOSTATUS_INVALID, MF_TOPOSTATUS_STARTED_SOURCE, MF_TOPOSTATUS_ENDED}) {
        EXPECT_EQ(S_OK, rig.player->HandleEvent(TopologyStatusEvent(status).Detach())) << status;
    }
    EXPECT_TRUE(FAILED(Deliver(rig.player.Get(), MESessionTopologyStatus))) << "a status event without its status";
    EXPECT_EQ(PlayerState::OpenPending, rig.player->State());
    EXPECT_TRUE(Requests(rig.session).empty());
}

TEST_F(PlayerTest, ReadyTopologyStartsFromTheCurrentPosition) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::OpenPending);
    rig.player->AdoptResumeState(PlayerState::Paused);
    EXPECT_EQ(S_OK, rig.player->HandleEvent(TopologyStatusEvent(MF_TOPOSTATUS_READY).Detach()));
    EXPECT_EQ((RequestList{StartFromCurrent()}), Requests(rig.session));
    EXPECT_EQ(PlayerState::StartPending, rig.player->State());
    EXPECT_EQ(PlayerState::Started, rig.player->ResumeState());
    // The double offers neither a video renderer nor a clock.
    EXPECT_FALSE(rig.player->HasVideoDisplay());
    LONGLONG position = 0;
    EXPECT_FALSE(rig.player->PositionIn(PlayerState::Started, &position));
}

TEST_F(PlayerTest, ReadyTopologyWhoseStartFailsEndsOpeningOnly) {
    const struct {
        PlayerState before;
        PlayerState after;
    } cases[] = {{PlayerState::OpenPending, PlayerState::Closing}, {PlayerState::Paused, PlayerState::Paused}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        PlayerRig rig;
        rig.session->startResult = MF_E_INVALIDREQUEST;
        rig.player->SetState(c.before);
        rig.player->AdoptResumeState(PlayerState::Paused);
        EXPECT_EQ(MF_E_INVALIDREQUEST, rig.player->HandleEvent(TopologyStatusEvent(MF_TOPOSTATUS_READY).Detach()));
        EXPECT_EQ(c.after, rig.player->State());
        EXPECT_EQ(PlayerState::Paused, rig.player->ResumeState());
    }
}

}  // namespace
