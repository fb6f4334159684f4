// The player's seeks (SetPosition) in each state: issued at once, kept for the start report or
// refused.

#include "player/CPlayer.h"

#include "FakeSession.h"
#include "FakeSource.h"
#include "PlayerTestSupport.h"

#include <gtest/gtest.h>

#include <mferror.h>

namespace {

// ---------------------------------------------------------------- SetPosition

TEST_F(PlayerTest, SeekWhilePlayingOrPausedStartsThereAndDropsADeferredSeek) {
    const struct {
        PlayerState before;
        RequestList requests;
    } cases[] = {
        {PlayerState::Started, {StartAt(31'000'000)}},
        {PlayerState::Paused, {StartAt(31'000'000), "Pause"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before);
        PlayerRig rig;
        rig.player->SetState(c.before);
        DeferSeek(rig.player.Get(), 7'000'000);
        EXPECT_EQ(S_OK, rig.player->SetPosition(31'000'000));
        EXPECT_EQ(PlayerState::StartPending, rig.player->State());
        EXPECT_EQ(c.before, rig.player->ResumeState());
        EXPECT_EQ(0, rig.player->PendingSeek());

        // Its start report must not bring the older position back.
        EXPECT_EQ(S_OK, Deliver(rig.player.Get(), MESessionStarted));
        EXPECT_EQ(c.requests, Requests(rig.session));
    }
}

TEST_F(PlayerTest, SeekWhoseStartFailsChangesNothing) {
    PlayerRig rig;
    rig.session->startResult = MF_E_INVALIDREQUEST;
    rig.player->SetState(PlayerState::Paused);
    rig.player->AdoptResumeState(PlayerState::Started);
    DeferSeek(rig.player.Get(), 7'000'000);
    EXPECT_EQ(MF_E_INVALIDREQUEST, rig.player->SetPosition(31'000'000));
    EXPECT_EQ(PlayerState::Paused, rig.player->State());
    EXPECT_EQ(PlayerState::Started, rig.player->ResumeState());
    EXPECT_EQ(7'000'000, rig.player->PendingSeek());
}

// Some damaged movies leave the platform's session stuck in its own work, holding the lock its
// commands take: the host's click must come back all the same, and the commands stay in order.
TEST_F(PlayerTest, ACommandTheSessionHoldsFailsAfterItsWaitAndHoldsBackTheNextUntilTaken) {
    PlayerRig rig;
    const OwnedEvent letGo(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    rig.session->commandsWaitFor = letGo.get();
    rig.player->SetState(PlayerState::Started);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_TIMEOUT), rig.player->RequestPause());
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_EQ(MF_E_INVALIDREQUEST, rig.player->SetPosition(31'000'000)) << "given while the pause waits";

    SetEvent(letGo.get());
    const ULONGLONG deadline = GetTickCount64() + 5000;
    HRESULT seek = E_PENDING;
    while (GetTickCount64() < deadline && (seek = rig.player->SetPosition(31'000'000)) == MF_E_INVALIDREQUEST) {
        Sleep(10);
    }
    EXPECT_EQ(S_OK, seek);
    EXPECT_EQ((RequestList{"Pause", StartAt(31'000'000)}), Requests(rig.session));
}

TEST_F(PlayerTest, SeekWhileAStartOrPauseIsPendingIsKeptForTheStartReport) {
    for (PlayerState before : {PlayerState::StartPending, PlayerState::PausePending}) {
        SCOPED_TRACE(testing::Message() << before);
        PlayerRig rig;
        rig.player->SetState(before);
        rig.player->AdoptResumeState(PlayerState::Started);
        EXPECT_EQ(S_FALSE, rig.player->SetPosition(10'000'000));
        EXPECT_EQ(S_FALSE, rig.player->SetPosition(20'000'000));
        EXPECT_EQ(20'000'000, rig.player->PendingSeek());
        EXPECT_TRUE(Requests(rig.session).empty());

        EXPECT_EQ(S_OK, Deliver(rig.player.Get(), MESessionPaused));
        EXPECT_EQ(20'000'000, rig.player->PendingSeek()) << "a pause report does not issue it";
        rig.player->AdoptResumeState(PlayerState::Started);
        EXPECT_EQ(S_OK, Deliver(rig.player.Get(), MESessionStarted));
        EXPECT_EQ((RequestList{StartAt(20'000'000)}), Requests(rig.session));
    }

    PlayerRig rig;
    rig.player->SetState(PlayerState::StartPending);
    rig.player->AdoptResumeState(PlayerState::Started);
    EXPECT_EQ(S_FALSE, rig.player->SetPosition(10'000'000));
    EXPECT_EQ(S_FALSE, rig.player->SetPosition(0)) << "the start: no seek at all";
    EXPECT_EQ(S_OK, Deliver(rig.player.Get(), MESessionStarted));
    EXPECT_EQ(PlayerState::Started, rig.player->State());
    EXPECT_TRUE(Requests(rig.session).empty());
}

TEST_F(PlayerTest, SeekInAnyOtherStateIsRefused) {
    for (PlayerState state : {PlayerState::Closed, PlayerState::Ready, PlayerState::OpenPending,
                              PlayerState::StopPending, PlayerState::Stopped, PlayerState::Closing}) {
        SCOPED_TRACE(testing::Message() << state);
        PlayerRig rig;
        rig.player->SetState(state);
        DeferSeek(rig.player.Get(), 7'000'000);
        EXPECT_EQ(E_FAIL, rig.player->SetPosition(31'000'000));
        EXPECT_EQ(state, rig.player->State());
        EXPECT_EQ(7'000'000, rig.player->PendingSeek());
        EXPECT_TRUE(Requests(rig.session).empty());
    }
}

}  // namespace
