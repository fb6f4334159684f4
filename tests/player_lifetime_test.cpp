// The player's life: the platform start it gives back, its COM identity and references, and
// closing and shutdown, the session and source torn down in order and the renderer kept quiet.

#include "common/ComObject.h"
#include "common/RunsOnWine.h"
#include "player/CPlayer.h"
#include "player/QueuedWork.h"
#include "quirks/RendererDeadlockGuard.h"

#include "FakeSession.h"
#include "FakeSource.h"
#include "PlayerTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <evr.h>
#include <mfapi.h>
#include <mferror.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

using Microsoft::WRL::ComPtr;

namespace {

// Defined first so that it runs first: it needs a process in which nothing has started the
// platform yet, or its count could not be seen to reach zero.
TEST(PlayerPlatform, EachStartIsGivenBackExactlyOnce) {
    ASSERT_FALSE(PlatformRunning()) << "something in this program started the platform before this test";
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    {
        ComPtr<CPlayer> started;
        started.Attach(new CPlayer);
        ASSERT_HRESULT_SUCCEEDED(started->StartPlatform());
        started->Shutdown();
        started->Shutdown();
        ComPtr<CPlayer> neverStarted;
        neverStarted.Attach(new CPlayer);
        neverStarted->Shutdown();
    }  // both destructors shut down once more
    EXPECT_TRUE(PlatformRunning()) << "a player gave back a start it did not make";
    MFShutdown();
    // The teardown's work item holds the platform until it has returned, just after it reports done.
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (PlatformRunning() && GetTickCount64() < deadline) Sleep(10);
    EXPECT_FALSE(PlatformRunning()) << "a player kept the platform started";
}

// The sample movie's source, as the platform resolves it.
ComPtr<IMFMediaSource> ResolveSample() {
    ComPtr<IMFSourceResolver> resolver;
    ComPtr<IUnknown> object;
    ComPtr<IMFMediaSource> source;
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    if (FAILED(MFCreateSourceResolver(&resolver))) return nullptr;
    if (FAILED(resolver->CreateObjectFromURL(MediaPath(L"sample.mp4").c_str(), MF_RESOLUTION_MEDIASOURCE, nullptr,
                                             &type, &object)))
        return nullptr;
    object.As(&source);
    return source;
}

// ---------------------------------------------------------------- COM object

TEST_F(PlayerTest, AnswersItsCallbackInterfaceAndIUnknownAsOneObject) {
    ComPtr<CPlayer> player;
    player.Attach(new CPlayer);
    void* callback = nullptr;
    void* unknown = nullptr;
    ASSERT_EQ(S_OK, player->QueryInterface(__uuidof(IMFAsyncCallback), &callback));
    EXPECT_EQ(static_cast<IMFAsyncCallback*>(player.Get()), callback);
    EXPECT_EQ(2u, References(player.Get()));
    ASSERT_EQ(S_OK, player->QueryInterface(__uuidof(IUnknown), &unknown));
    EXPECT_EQ(callback, unknown);
    EXPECT_EQ(3u, References(player.Get()));

    void* other = &callback;
    EXPECT_EQ(E_NOINTERFACE, player->QueryInterface(__uuidof(IMFMediaSession), &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(3u, References(player.Get()));

    static_cast<IUnknown*>(unknown)->Release();
    static_cast<IUnknown*>(callback)->Release();
    DWORD flags = 0;
    DWORD queue = 0;
    EXPECT_EQ(E_NOTIMPL, player->GetParameters(&flags, &queue));
}

TEST_F(PlayerTest, LastReleaseTearsTheSessionDownAndGivesItsReferencesBack) {
    ComPtr<FakeSession> session;
    session.Attach(new FakeSession);
    session->closeReportsClosed = false;
    ComPtr<FakeSource> source;
    source.Attach(new FakeSource);
    // No event loop: an armed session would keep the player alive.
    auto* player = new CPlayer;
    player->Adopt(session.Get(), source.Get());

    EXPECT_EQ(2u, player->AddRef());
    EXPECT_EQ(1u, player->Release());
    EXPECT_TRUE(Requests(session).empty());
    EXPECT_EQ(0u, player->Release());
    EXPECT_EQ((RequestList{"Close", "Shutdown"}), Requests(session));
    EXPECT_EQ(1, source->shutdowns);
    EXPECT_EQ(1u, References(session.Get()));
    EXPECT_EQ(1u, References(source.Get()));
}

// ---------------------------------------------------------------- closing

TEST_F(PlayerTest, CloseWaitsForTheCloseReportThenShutsDownSourceThenSession) {
    PlayerRig rig;
    MessageWindow window;
    rig.session->closeReportsClosed = false;
    rig.player->SetState(PlayerState::Started);
    rig.player->AdoptPresentation(window.get(), nullptr, nullptr, 0);
    RequestList atSourceShutdown;
    rig.source->onShutdown = [&] { atSourceShutdown = Requests(rig.session); };

    // Plays the session: reports the close a while after it was asked for, noting what the
    // player had done by then.
    std::atomic<PlayerState> stateWhileClosing{PlayerState::Closed};
    RequestList beforeReport;
    std::thread session([&] {
        if (!PumpUntil([&] { return !rig.session->Calls().empty(); }, 5000)) return;
        Sleep(200);
        stateWhileClosing = rig.player->State();
        beforeReport = Requests(rig.session);
        rig.session->Fire(MESessionClosed);
    });
    rig.player->CloseSession();
    session.join();
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));

    EXPECT_EQ(PlayerState::Closing, stateWhileClosing.load());
    EXPECT_EQ((RequestList{"Close"}), beforeReport) << "did not wait for the close report";
    EXPECT_EQ((RequestList{"Close"}), atSourceShutdown);
    EXPECT_EQ((RequestList{"Close", "Shutdown"}), Requests(rig.session));
    EXPECT_EQ(1, rig.source->shutdowns);
    EXPECT_EQ(PlayerState::Closed, rig.player->State());
    EXPECT_EQ(nullptr, rig.player->Session());
    EXPECT_EQ(1u, References(rig.source.Get()));
    MSG message;
    EXPECT_FALSE(window.TakePlayerEvent(&message)) << "the close report was forwarded";
}

// A video renderer's stream sink as the session sees it: the sample allocator behind its
// acceleration service, which reports returned frames to whoever set a callback.
class FakeVideoStreamSink final
    : public ComObject<IMFGetService, IMFVideoSampleAllocator, IMFVideoSampleAllocatorCallback> {
public:
    std::function<void()> onDetach;
    IMFVideoSampleAllocatorNotify* notify = nullptr;

    STDMETHODIMP GetService(REFGUID service, REFIID iid, void** object) override {
        if (service != MR_VIDEO_ACCELERATION_SERVICE) return MF_E_UNSUPPORTED_SERVICE;
        if (iid != __uuidof(IMFVideoSampleAllocator)) return E_NOINTERFACE;
        return QueryInterface(iid, object);
    }

    STDMETHODIMP SetDirectXManager(IUnknown*) override { return S_OK; }
    STDMETHODIMP UninitializeSampleAllocator() override { return S_OK; }
    STDMETHODIMP InitializeSampleAllocator(DWORD, IMFMediaType*) override { return S_OK; }
    STDMETHODIMP AllocateSample(IMFSample**) override { return E_NOTIMPL; }

    STDMETHODIMP SetCallback(IMFVideoSampleAllocatorNotify* callback) override {
        notify = callback;
        if (!callback && onDetach) onDetach();
        return S_OK;
    }
    STDMETHODIMP GetFreeSampleCount(LONG* count) override {
        *count = 0;
        return S_OK;
    }

private:
    ~FakeVideoStreamSink() override = default;
};

// The platform's renderer gives its last frames back only when it is destroyed, after the
// session's shutdown has freed the topology its reports refer to; a report then crashes.
TEST_F(PlayerTest, CloseStopsTheVideoRendererReportingFramesBeforeTheSessionShutsDown) {
    PlayerRig rig;
    ComPtr<FakeVideoStreamSink> sink;
    sink.Attach(new FakeVideoStreamSink);
    IMFVideoSampleAllocatorNotify* const sessionNotify = reinterpret_cast<IMFVideoSampleAllocatorNotify*>(0x1000);
    sink->notify = sessionNotify;
    RequestList atDetach{"never"};
    sink->onDetach = [&] { atDetach = Requests(rig.session); };

    ComPtr<IMFTopology> topology;
    ComPtr<IMFTopologyNode> output;
    ASSERT_HRESULT_SUCCEEDED(MFCreateTopology(&topology));
    ASSERT_HRESULT_SUCCEEDED(MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, &output));
    ASSERT_HRESULT_SUCCEEDED(output->SetObject(static_cast<IMFGetService*>(sink.Get())));
    ASSERT_HRESULT_SUCCEEDED(topology->AddNode(output.Get()));
    rig.session->fullTopology = topology;
    rig.player->SetState(PlayerState::Started);

    rig.player->Shutdown();
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));
    EXPECT_EQ(nullptr, sink->notify);
    EXPECT_EQ((RequestList{"Close"}), atDetach);
    EXPECT_EQ((RequestList{"Close", "Shutdown"}), Requests(rig.session));
}

TEST_F(PlayerTest, ShutdownThatReachesTheCallersWindowIsServed) {
    PlayerRig rig;
    MessageWindow window;
    rig.player->SetState(PlayerState::Started);
    std::atomic<bool> answered{false};
    rig.session->onShutdown = [&] { answered = SendMessageW(window.get(), WM_NULL, 0, 0) == 0; };
    rig.player->CloseSession();
    ASSERT_TRUE(WaitForTeardown(rig.player.Get(), 2000)) << "the shutdown waits for a thread that does not take its message";
    EXPECT_TRUE(answered.load());
}

// The host is frozen for as long as destroy takes; the platform's close and shutdown have been
// seen to take seconds, or never to end.
TEST_F(PlayerTest, ShutdownReturnsAtOnceWhateverThePlatformDoesAndFinishesLater) {
    PlayerRig rig;
    rig.session->closeReportsClosed = false;
    rig.player->SetState(PlayerState::Started);
    RequestList atSourceShutdown;
    rig.source->onShutdown = [&] { atSourceShutdown = Requests(rig.session); };
    const OwnedEvent release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    rig.session->onShutdown = [&] { WaitForSingleObject(release.get(), INFINITE); };

    const ULONGLONG began = GetTickCount64();
    rig.player->Shutdown();
    EXPECT_LT(GetTickCount64() - began, 1000u) << "shutdown waited for the session";
    EXPECT_EQ(PlayerState::Closing, rig.player->State()) << "nothing is forwarded while it closes";
    EXPECT_EQ(1, CPlayer::TeardownsUnderWay());

    ASSERT_TRUE(PumpUntil([&] { return Requests(rig.session).size() == 2; }, 10000)) << "the close wait has a bound";
    EXPECT_EQ((RequestList{"Close"}), atSourceShutdown);
    EXPECT_EQ(PlayerState::Closing, rig.player->State());
    SetEvent(release.get());
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));
    EXPECT_EQ(nullptr, rig.player->Session());
    EXPECT_EQ(1u, References(rig.source.Get()));
    EXPECT_EQ(1u, References(rig.session.Get()));
}

TEST_F(PlayerTest, FailedCloseNeitherWaitsNorShutsDownYetLetsGo) {
    PlayerRig rig;
    rig.session->closeResult = MF_E_SHUTDOWN;
    rig.player->SetState(PlayerState::Paused);
    const ULONGLONG began = GetTickCount64();
    EXPECT_EQ(MF_E_SHUTDOWN, rig.player->CloseSession());
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));
    EXPECT_LT(GetTickCount64() - began, 1000u);
    EXPECT_EQ((RequestList{"Close"}), Requests(rig.session));
    EXPECT_EQ(0, rig.source->shutdowns);
    EXPECT_EQ(PlayerState::Closed, rig.player->State());
    EXPECT_EQ(1u, References(rig.source.Get()));
    EXPECT_EQ(nullptr, rig.player->Session());
}

TEST_F(PlayerTest, CloseWithoutASessionStillShutsTheSourceDown) {
    const ComPtr<IMFMediaSource> source = ResolveSample();
    ASSERT_TRUE(source);
    ComPtr<IMFPresentationDescriptor> descriptor;
    ASSERT_HRESULT_SUCCEEDED(source->CreatePresentationDescriptor(&descriptor));
    descriptor.Reset();

    ComPtr<CPlayer> player;
    player.Attach(new CPlayer);
    player->Adopt(nullptr, source.Get());
    player->SetState(PlayerState::Ready);
    EXPECT_EQ(S_OK, player->CloseSession());
    ASSERT_TRUE(WaitForTeardown(player.Get()));
    EXPECT_FALSE(player->HasSource());
    EXPECT_EQ(MF_E_SHUTDOWN, source->CreatePresentationDescriptor(&descriptor));
}

TEST_F(PlayerTest, SecondShutdownFindsNothingLeftToDo) {
    PlayerRig rig;
    rig.player->SetState(PlayerState::Started);
    rig.player->Shutdown();
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));
    EXPECT_EQ((RequestList{"Close", "Shutdown"}), Requests(rig.session));
    rig.player->Shutdown();
    ASSERT_TRUE(WaitForTeardown(rig.player.Get()));
    EXPECT_EQ((RequestList{"Close", "Shutdown"}), Requests(rig.session));
    EXPECT_EQ(1, rig.source->shutdowns);
    EXPECT_EQ(PlayerState::Closed, rig.player->State());
}

// Wine's renderer and presenter as far as their two locks go: the renderer's stop takes its own
// lock and then the presenter's, a frame coming back takes them the other way round. Neither
// waits for good here; a wait that runs out means the two met half way.
struct RendererLocks {
    static constexpr auto LOCK_WAIT = std::chrono::seconds(2);
    std::timed_mutex renderer;
    std::timed_mutex presenter;
    OwnedEvent turnBegan{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> met{false};

    // Takes first, then second, and reports whether both were had.
    bool TakeBoth(std::timed_mutex& first, std::timed_mutex& second, HANDLE between) {
        std::unique_lock<std::timed_mutex> one(first, LOCK_WAIT);
        if (between) SetEvent(between);
        std::unique_lock<std::timed_mutex> two(second, LOCK_WAIT);
        if (!one || !two) met = true;
        return one && two;
    }
};

class RendererStop final : public ComObject<IMFClockStateSink> {
public:
    explicit RendererStop(RendererLocks& locks) : locks_(locks) {}
    STDMETHODIMP OnClockStart(MFTIME, LONGLONG) override { return S_OK; }
    STDMETHODIMP OnClockStop(MFTIME) override {
        locks_.TakeBoth(locks_.renderer, locks_.presenter, locks_.turnBegan.get());
        SetEvent(stopped.get());
        return S_OK;
    }
    STDMETHODIMP OnClockPause(MFTIME) override { return S_OK; }
    STDMETHODIMP OnClockRestart(MFTIME) override { return S_OK; }
    STDMETHODIMP OnClockSetRate(MFTIME, float) override { return S_OK; }

    OwnedEvent stopped{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

private:
    RendererLocks& locks_;
};

// A frame coming back to the presenter's pool, reported on the process's frame-tracking thread.
// It is still at work when the clock turns, and would meet the renderer's turn had it begun.
class FrameComingBack final : public ComObject<IMFAsyncCallback> {
public:
    explicit FrameComingBack(RendererLocks& locks) : locks_(locks) {}
    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(IMFAsyncResult*) override {
        std::unique_lock<std::timed_mutex> presenter(locks_.presenter);
        SetEvent(entered.get());
        WaitForSingleObject(stopAsked.get(), 5000);
        WaitForSingleObject(locks_.turnBegan.get(), 100);
        std::unique_lock<std::timed_mutex> renderer(locks_.renderer, RendererLocks::LOCK_WAIT);
        if (!renderer) locks_.met = true;
        SetEvent(done.get());
        return S_OK;
    }

    OwnedEvent entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OwnedEvent stopAsked{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OwnedEvent done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

private:
    RendererLocks& locks_;
};

// The guard listens from the topology's readiness and Wine's renderer from the first start on, so
// the guard's turn comes first: the frame's report ends before the renderer's turn begins.
TEST_F(PlayerTest, UnderWineAFrameComingBackAsTheClockTurnsNeverMeetsTheRendererHalfWay) {
    if (!RunsOnWine()) GTEST_SKIP() << "Windows' renderer needs no guard";
    // Stays loaded: its frame-tracking thread ends only a moment after the last tracked sample.
    const HMODULE evr = LoadLibraryW(L"evr.dll");
    ASSERT_NE(evr, nullptr);
    const auto createSample = reinterpret_cast<decltype(&MFCreateVideoSampleFromSurface)>(
        reinterpret_cast<void*>(GetProcAddress(evr, "MFCreateVideoSampleFromSurface")));
    ComPtr<IMFPresentationClock> clock;
    ComPtr<IMFPresentationTimeSource> time;
    ASSERT_HRESULT_SUCCEEDED(MFCreatePresentationClock(&clock));
    ASSERT_HRESULT_SUCCEEDED(MFCreateSystemTimeSource(&time));
    ASSERT_HRESULT_SUCCEEDED(clock->SetTimeSource(time.Get()));
    const ComPtr<RendererDeadlockGuard> guard = RendererDeadlockGuard::Listen(clock.Get());
    ASSERT_NE(guard, nullptr);
    RendererLocks locks;
    ComPtr<RendererStop> renderer;
    renderer.Attach(new RendererStop(locks));
    ASSERT_HRESULT_SUCCEEDED(clock->AddClockStateSink(renderer.Get()));
    ASSERT_HRESULT_SUCCEEDED(clock->Start(0));
    LetQueuedWorkRun(1000);  // the clock's reports of the start

    ComPtr<FrameComingBack> frame;
    frame.Attach(new FrameComingBack(locks));
    {
        ComPtr<IMFSample> sample;
        ComPtr<IMFTrackedSample> tracked;
        ASSERT_HRESULT_SUCCEEDED(createSample(nullptr, &sample));
        ASSERT_HRESULT_SUCCEEDED(sample.As(&tracked));
        ASSERT_HRESULT_SUCCEEDED(tracked->SetAllocator(frame.Get(), nullptr));
    }  // the last release is reported
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(frame->entered.get(), 5000));
    ASSERT_HRESULT_SUCCEEDED(clock->Stop());
    SetEvent(frame->stopAsked.get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(renderer->stopped.get(), 10000));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(frame->done.get(), 10000));
    EXPECT_FALSE(locks.met) << "the frame's report and the renderer's stop each waited for the other's lock";

    guard->Detach();
    clock->RemoveClockStateSink(renderer.Get());
}

}  // namespace
