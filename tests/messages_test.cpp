#include "FakeSession.h"
#include "PlayingViewer.h"

#include "common/ComObject.h"
#include "common/Owned.h"
#include "host/support/MessagePump.h"
#include "module/ExtViewModuleInfo.h"
#include "player/CPlayer.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <wrl/client.h>

#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr int32_t SENTINEL = 0x5A5A5A5A;

ULONG ReferenceCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A presentation clock that reads a chosen time, or fails; with stall, only once stall is set
// or ten seconds have passed, as a clock the platform holds up.
class FixedClock : public ComObject<WithBases<IMFPresentationClock, IMFClock>> {
public:
    FixedClock(MFTIME time, HRESULT status, HANDLE stall = nullptr) : time_(time), status_(status), stall_(stall) {}

    STDMETHODIMP GetTime(MFTIME* time) override {
        if (stall_) WaitForSingleObject(stall_, 10000);
        if (SUCCEEDED(status_)) *time = time_;
        return status_;
    }

    STDMETHODIMP GetClockCharacteristics(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCorrelatedTime(DWORD, LONGLONG*, MFTIME*) override { return E_NOTIMPL; }
    STDMETHODIMP GetContinuityKey(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(DWORD, MFCLOCK_STATE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetProperties(MFCLOCK_PROPERTIES*) override { return E_NOTIMPL; }
    STDMETHODIMP SetTimeSource(IMFPresentationTimeSource*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTimeSource(IMFPresentationTimeSource**) override { return E_NOTIMPL; }
    STDMETHODIMP AddClockStateSink(IMFClockStateSink*) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveClockStateSink(IMFClockStateSink*) override { return E_NOTIMPL; }
    STDMETHODIMP Start(LONGLONG) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }

private:
    ~FixedClock() override = default;
    MFTIME time_;
    HRESULT status_;
    HANDLE stall_;
};

// 2^32 + 5 milliseconds, in 100-ns units, plus a part of a millisecond that is cut off.
constexpr int64_t BEYOND_32_BITS = ((int64_t{1} << 32) + 5) * 10000 + 9999;

// A viewer with a player that has no session: only what the messages read is set.
class BareViewer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
        viewer.player.reset(new CPlayer);
        viewer.player->SetState(PlayerState::Ready);
    }

    void TearDown() override {
        viewer.Reset();
        MFShutdown();
    }

    int32_t Query(UINT message, int32_t* values) {
        return viewer.HandleMessage(message, reinterpret_cast<WPARAM>(values), 0);
    }

    // What a ready topology would have given the player: the clock, and the duration.
    void Present(FixedClock* clock, int64_t duration) {
        presentedClock.Attach(clock);
        Present(duration);
    }
    void Present(int64_t duration) {
        viewer.player->AdoptPresentation(nullptr, nullptr, presentedClock.Get(), duration);
    }

    ExtViewMF viewer;
    ComPtr<FixedClock> presentedClock;
};

TEST_F(BareViewer, MessagesTheModuleDoesNotHandleAnswerOne) {
    const UINT unhandled[] = {0, WM_PAINT, WM_SIZE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEMOVE,
                              WM_VSCROLL, WM_USER + 10, WM_USER + 11, WM_USER + 12, WM_USER + 13, WM_USER + 14,
                              WM_USER + 15, WM_USER + 17, WM_EXTVIEW_HOST_NOTIFY, WM_APP, WM_PLAYER_EVENT + 1};
    for (UINT message : unhandled) {
        int32_t value = SENTINEL;
        EXPECT_EQ(Query(message, &value), 1) << "message " << message;
        EXPECT_EQ(value, SENTINEL);
    }
    ExtViewMF empty;
    for (UINT message : unhandled) EXPECT_EQ(empty.HandleMessage(message, 0, 0), 1) << "message " << message;
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
}

TEST_F(BareViewer, CommandsAndTimersThatAreNotTheModulesAnswerZero) {
    viewer.player->SetState(PlayerState::Started);
    // Another control, or a notification other than a click, is not a request: no session
    // was needed to answer it.
    for (WPARAM command : {MAKEWPARAM(0, BN_CLICKED), MAKEWPARAM(3, BN_CLICKED), MAKEWPARAM(4, BN_CLICKED),
                           MAKEWPARAM(0xFFFF, BN_CLICKED), MAKEWPARAM(1, BN_SETFOCUS), MAKEWPARAM(2, BN_DBLCLK),
                           MAKEWPARAM(1, BN_KILLFOCUS)}) {
        EXPECT_EQ(viewer.HandleMessage(WM_COMMAND, command, 0), 0) << "command " << command;
    }
    for (WPARAM timer : {WPARAM{0}, WPARAM{1}, WPARAM{998}, WPARAM{1000}, WPARAM{999 + 0x10000}})
        EXPECT_EQ(viewer.HandleMessage(WM_TIMER, timer, 0), 0) << "timer " << timer;
    EXPECT_EQ(viewer.HandleMessage(WM_TIMER, REFRESH_TIMER_ID, 0), 2);
    EXPECT_EQ(viewer.player->State(), PlayerState::Started);

    ExtViewMF empty;
    EXPECT_EQ(empty.HandleMessage(WM_TIMER, REFRESH_TIMER_ID, 0), 2);
    EXPECT_EQ(empty.HandleMessage(WM_TIMER, 7, 0), 0);
}

TEST_F(BareViewer, ImageQueriesWriteTheViewersFieldsWithoutAPlayer) {
    ExtViewMF empty;
    empty.imageWidth = 320;
    empty.imageHeight = 240;
    empty.bitsPerPixel = 24;
    for (UINT message : {WM_EXTVIEW_GET_IMAGE_SIZE, WM_EXTVIEW_GET_IMAGE_SIZE2}) {
        int32_t size[3] = {SENTINEL, SENTINEL, SENTINEL};
        EXPECT_EQ(empty.HandleMessage(message, reinterpret_cast<WPARAM>(size), 0), 0);
        EXPECT_EQ(size[0], 320);
        EXPECT_EQ(size[1], 240);
        EXPECT_EQ(size[2], SENTINEL);
    }
    int32_t depth[2] = {SENTINEL, SENTINEL};
    EXPECT_EQ(empty.HandleMessage(WM_EXTVIEW_GET_BIT_DEPTH, reinterpret_cast<WPARAM>(depth), 0), 0);
    EXPECT_EQ(depth[0], 24);
    EXPECT_EQ(depth[1], SENTINEL);
}

TEST_F(BareViewer, DurationAndPositionWithoutAPlayerFailAndWriteNothing) {
    ExtViewMF empty;
    int32_t value = SENTINEL;
    EXPECT_EQ(empty.HandleMessage(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&value), 0), -1);
    EXPECT_EQ(empty.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&value), 0), -1);
    EXPECT_EQ(value, SENTINEL);
}

TEST_F(BareViewer, DurationIsWrittenInMillisecondsAsItsLow32Bits) {
    const std::pair<int64_t, int32_t> cases[] = {
        {0, 0},
        {50000000, 5000},
        {12345678, 1234},
        {int64_t{0x7FFFFFFF} * 10000, 0x7FFFFFFF},
        {(int64_t{1} << 31) * 10000 + 70000, static_cast<int32_t>(0x80000007u)},
        {BEYOND_32_BITS, 5},
    };
    for (const auto& [duration, milliseconds] : cases) {
        Present(duration);
        int32_t value[2] = {SENTINEL, SENTINEL};
        EXPECT_EQ(Query(WM_EXTVIEW_GET_DURATION, value), 0);
        EXPECT_EQ(value[0], milliseconds) << "duration " << duration;
        EXPECT_EQ(value[1], SENTINEL);
    }
}

TEST_F(BareViewer, PositionComesFromTheClockOnlyWhilePlaying) {
    int32_t value = SENTINEL;
    viewer.player->SetState(PlayerState::Started);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), -1) << "no clock";
    EXPECT_EQ(value, SENTINEL);

    Present(new FixedClock(BEYOND_32_BITS, S_OK), 0);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), 0);
    EXPECT_EQ(value, 5);
    Present(new FixedClock(25000000, S_OK), 0);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), 0);
    EXPECT_EQ(value, 2500);
    Present(20000000);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), 0);
    EXPECT_EQ(value, 2000) << "a clock that runs on past the end";
    Present(0);

    for (PlayerState state : {PlayerState::Stopped, PlayerState::StopPending}) {
        viewer.player->SetState(state);
        value = SENTINEL;
        EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), 0);
        EXPECT_EQ(value, 0) << "state " << static_cast<int>(state);
    }
    for (PlayerState state : {PlayerState::Ready, PlayerState::StartPending, PlayerState::PausePending,
                              PlayerState::Paused, PlayerState::OpenPending, PlayerState::Closing}) {
        viewer.player->SetState(state);
        value = SENTINEL;
        EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), -1) << "state " << static_cast<int>(state);
        EXPECT_EQ(value, SENTINEL);
    }

    viewer.player->SetState(PlayerState::Started);
    Present(new FixedClock(0, static_cast<HRESULT>(0xC00D9C41)), 0);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), -1) << "a clock that cannot be read";
    EXPECT_EQ(value, SENTINEL);
}

TEST_F(BareViewer, AClockThatDoesNotAnswerHoldsThePositionQueryOnlyBriefly) {
    const OwnedEvent letGo(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    viewer.player->SetState(PlayerState::Started);
    Present(new FixedClock(25000000, S_OK, letGo.get()), 0);
    int32_t value = SENTINEL;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), -1);
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &value), -1) << "a second read while the first is held up";
    EXPECT_LT(GetTickCount64() - start, 5000u) << "the query waited for the clock";
    EXPECT_EQ(value, SENTINEL);

    SetEvent(letGo.get());
    EXPECT_TRUE(PumpUntil([&] { return Query(WM_EXTVIEW_GET_POSITION, &value) == 0; }, 5000));
    EXPECT_EQ(value, 2500);
}

TEST_F(BareViewer, SessionEventsAreReleasedWithOrWithoutAPlayer) {
    ComPtr<IMFMediaEvent> event = MakeEvent(MEUnknown);
    ASSERT_TRUE(event);
    ExtViewMF empty;
    event->AddRef();
    EXPECT_EQ(empty.HandleMessage(WM_PLAYER_EVENT, reinterpret_cast<WPARAM>(event.Get()), MEUnknown), 0);
    EXPECT_EQ(ReferenceCount(event.Get()), 1u);
    EXPECT_EQ(empty.HandleMessage(WM_PLAYER_EVENT, 0, MEUnknown), 0);

    event->AddRef();
    EXPECT_EQ(viewer.HandleMessage(WM_PLAYER_EVENT, reinterpret_cast<WPARAM>(event.Get()), MEUnknown), 0);
    EXPECT_EQ(ReferenceCount(event.Get()), 1u);
}

TEST(OpenedViewer, AnswersBeforeAttachWithoutTouchingAnything) {
    ExtViewMF viewer;
    ASSERT_EQ(viewer.Open(MediaPath(L"sample.mp4").c_str()), 0);
    ASSERT_EQ(viewer.player->State(), PlayerState::Ready);

    EXPECT_EQ(viewer.HandleMessage(WM_TIMER, REFRESH_TIMER_ID, 0), 2);
    for (WPARAM request : {WPARAM{1}, WPARAM{0}, WPARAM{2}})
        EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_HIDE_PANEL, request, 0), 0);
    const RECT original{10, 20, 630, 470};
    RECT view = original;
    EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_ADJUST_VIEW_RECT, reinterpret_cast<WPARAM>(&view), 0), 0);
    EXPECT_TRUE(EqualRect(&view, &original));

    int32_t size[2] = {SENTINEL, SENTINEL};
    EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0), 0);
    EXPECT_EQ(size[0], 0);
    EXPECT_EQ(size[1], 0);
    int32_t value = SENTINEL;
    EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_BIT_DEPTH, reinterpret_cast<WPARAM>(&value), 0), 0);
    EXPECT_EQ(value, 0);
    value = SENTINEL;
    EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&value), 0), 0);
    EXPECT_EQ(value, 0) << "the duration is read at attach";
    value = SENTINEL;
    EXPECT_EQ(viewer.HandleMessage(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&value), 0), -1);
    EXPECT_EQ(value, SENTINEL);

    // No window to show a menu in: the call comes straight back.
    EXPECT_EQ(viewer.HandleMessage(WM_RBUTTONDOWN, 0, MAKELPARAM(10, 10)), 0);
    EXPECT_FALSE(viewer.popupMenu);

    EXPECT_EQ(viewer.panel, nullptr);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
}

// Events the closed session left in the host window's queue must not reach the next player.
TEST(AttachedViewer, ReopeningReleasesTheEventsQueuedForTheHostWindow) {
    PlayingViewer playing;
    ASSERT_TRUE(playing.Attach(L"sample.mp4"));
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    const HWND window = playing.host.pane();

    std::vector<ComPtr<IMFMediaEvent>> queued;
    for (int i = 0; i < 3; ++i) {
        ComPtr<IMFMediaEvent> event = MakeEvent(MESessionStopped);
        ASSERT_TRUE(event);
        event->AddRef();
        ASSERT_TRUE(PostMessageW(window, WM_PLAYER_EVENT, reinterpret_cast<WPARAM>(event.Get()), MESessionStopped));
        queued.push_back(event);
    }

    ASSERT_EQ(playing.viewer.Open(MediaPath(L"sample.mp4").c_str()), 0);
    for (const auto& event : queued) EXPECT_EQ(ReferenceCount(event.Get()), 1u);
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, window, WM_PLAYER_EVENT, WM_PLAYER_EVENT, PM_NOREMOVE));

    ASSERT_EQ(playing.viewer.Attach(window), 0);
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    PumpMessages(500);
    EXPECT_EQ(playing.State(), PlayerState::Started) << "a stale stop reached the new player";
}

}  // namespace
