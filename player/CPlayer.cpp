#include "player/CPlayer.h"

#include "common/SentMessages.h"
#include "player/ClockRead.h"
#include "player/InfoTextBuffer.h"
#include "player/QueuedWork.h"

#include <mfapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// How long closing the session may take before teardown goes on regardless.
constexpr DWORD CLOSE_WAIT_MS = 5000;

// How often the wait while opening looks at the state when it has no event to wait on.
constexpr DWORD OPEN_POLL_MS = 100;

std::atomic<LONG> teardownsUnderWay{0};

}  // namespace

// The teardown runs on a thread of its own: the session's close and shutdown have been seen to
// take seconds, or never to end (Wine 8 and 10; kept on Windows), and neither the host nor the
// next file's opening may wait for that. The work holds the player, whose callback takes the
// session's close report. Tests:
// PlayerTest.ShutdownReturnsAtOnceWhateverThePlatformDoesAndFinishesLater and
// Open.DestroyReturnsPromptlyWhilePlayingAndAfterTheEnd.
class CPlayer::PlayerTeardown final : public QueuedWork {
public:
    PlayerTeardown(CPlayer* player, bool stopPlatform) : player_(player), stopPlatform_(stopPlatform) {
        ++teardownsUnderWay;
    }

    // The session's answer to Close once it has been asked; S_OK until then.
    std::atomic<HRESULT> closeStatus{S_OK};

private:
    ~PlayerTeardown() override { --teardownsUnderWay; }

    void Run() override {
        const HRESULT hr = player_->CloseAndWait();
        closeStatus = hr;
        player_->ShutDownSessionAndSource(SUCCEEDED(hr), stopPlatform_);
        player_.Reset();
    }

    ComPtr<CPlayer> player_;
    bool stopPlatform_;
};

CPlayer::CPlayer() = default;

HRESULT CPlayer::Create(CPlayer** player) {
    *player = nullptr;
    ComPtr<CPlayer> created;
    created.Attach(new (std::nothrow) CPlayer);
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->StartPlatform();
    if (FAILED(hr)) return hr;
    PlatformQuirks::BeforeFirstSource();
    hr = created->CreateEvents();
    if (FAILED(hr)) return hr;
    *player = created.Detach();
    return S_OK;
}

HRESULT CPlayer::OpenSession() {
    SetState(PlayerState::Closed);
    HRESULT hr = CloseSession();
    if (FAILED(hr)) return hr;
    ComPtr<IMFMediaSession> created;
    hr = MFCreateMediaSession(nullptr, &created);
    if (FAILED(hr)) return hr;
    {
        const std::lock_guard<std::mutex> hold(sessionLock);
        session = created;
    }
    hr = session->BeginGetEvent(this, nullptr);
    if (FAILED(hr)) return hr;
    SetState(PlayerState::Ready);
    return S_OK;
}

HRESULT CPlayer::TakeSource(IUnknown* resolved) {
    if (!resolved) return E_POINTER;
    return resolved->QueryInterface(IID_PPV_ARGS(&source));
}

HRESULT CPlayer::Attach(HWND window, const VideoTrackFacts& facts, DWORD waitMs) {
    videoWindow = window;
    fileVideo = facts;
    const HRESULT hr = BeginFirstPresentation();
    if (FAILED(hr)) {
        SetState(PlayerState::Closed);
        return hr;
    }
    if (!WaitWhileOpening(waitMs)) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    eventWindow.store(window, std::memory_order_release);
    return S_OK;
}

bool CPlayer::WaitWhileOpening(DWORD waitMs) {
    const HANDLE changed = stateChanged.get();
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    while (State() == PlayerState::OpenPending) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return !FailOpening();
        const DWORD remaining = static_cast<DWORD>(deadline - now);
        WaitLettingSentMessagesThrough(changed, changed ? remaining : std::min<DWORD>(remaining, OPEN_POLL_MS));
    }
    return true;
}

void CPlayer::Close() {
    Shutdown();
    const HWND window = eventWindow.load(std::memory_order_acquire);
    if (!window) return;
    MSG message;
    while (PeekMessageW(&message, window, WM_PLAYER_EVENT, WM_PLAYER_EVENT, PM_REMOVE)) {
        if (message.wParam) reinterpret_cast<IMFMediaEvent*>(message.wParam)->Release();
    }
}

CPlayer::~CPlayer() {
    BeginTeardown(std::exchange(platformStarted, false), false);
    videoWindow = nullptr;
    infoText.reset();
}

STDMETHODIMP CPlayer::QueryInterface(REFIID iid, void** object) {
    static const QITAB interfaces[] = {
        {&__uuidof(IMFAsyncCallback), 0},
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, object);
}

STDMETHODIMP_(ULONG) CPlayer::AddRef() { return static_cast<ULONG>(++refCount); }

STDMETHODIMP_(ULONG) CPlayer::Release() {
    const LONG count = --refCount;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP CPlayer::GetParameters(DWORD*, DWORD*) { return E_NOTIMPL; }

void CPlayer::SetState(PlayerState next) {
    if (next == PlayerState::StopPending) stopRequestedAtMs.store(GetTickCount64(), std::memory_order_release);
    state.store(next, std::memory_order_release);
    if (stateChanged) SetEvent(stateChanged.get());
}

bool CPlayer::FailOpening() { return MoveState(PlayerState::OpenPending, PlayerState::Closing); }

bool CPlayer::MoveState(PlayerState from, PlayerState to) {
    if (!state.compare_exchange_strong(from, to, std::memory_order_acq_rel)) return false;
    if (stateChanged) SetEvent(stateChanged.get());
    return true;
}

HRESULT CPlayer::StartPlatform() {
    const HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_FULL);
    platformStarted = SUCCEEDED(hr);
    return hr;
}

HRESULT CPlayer::CreateEvents() {
    closeEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!closeEvent) return HRESULT_FROM_WIN32(GetLastError());
    stateChanged.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stateChanged) return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

HRESULT CPlayer::CloseSession() {
    if (teardownHanded) return S_OK;
    return BeginTeardown(false, true);
}

void CPlayer::Shutdown() {
    // A teardown under way leaves the platform's stop to the destructor's.
    if (teardownHanded) return;
    BeginTeardown(std::exchange(platformStarted, false), true);
}

ComPtr<IMFMediaSession> CPlayer::Session() const {
    const std::lock_guard<std::mutex> hold(sessionLock);
    return session;
}

void CPlayer::Adopt(IMFMediaSession* adopted, IMFMediaSource* adoptedSource) {
    {
        const std::lock_guard<std::mutex> hold(sessionLock);
        session = adopted;
    }
    source = adoptedSource;
}

void CPlayer::AdoptPresentation(HWND window, IMFVideoDisplayControl* display, IMFPresentationClock* adoptedClock,
                                LONGLONG adoptedDuration) {
    videoWindow = window;
    eventWindow.store(window, std::memory_order_release);
    videoDisplay = display;
    ReadVideoSize();
    clock = adoptedClock;
    duration = adoptedDuration;
}

LONG CPlayer::TeardownsUnderWay() { return teardownsUnderWay.load(); }

HRESULT CPlayer::BeginTeardown(bool stopPlatform, bool handOver) {
    clock.Reset();
    quirks.BeforeWindowLetGo(videoDisplay.Get());
    videoDisplay.Reset();
    if (!session && !source && !stopPlatform) {
        SetState(PlayerState::Closed);
        return S_OK;
    }
    // Nothing is forwarded from here on.
    if (session) {
        const std::lock_guard<std::mutex> hold(forwardLock);
        SetState(PlayerState::Closing);
    }

    ComPtr<PlayerTeardown> work;
    if (handOver) work.Attach(new (std::nothrow) PlayerTeardown(this, stopPlatform));
    if (!work) return TearDownHere(stopPlatform);
    teardownHanded = true;
    // Most teardowns end within the wait, so that the renderer has let go of the host window
    // before the host can destroy it. Under Wine it has stopped drawing there already.
    const HRESULT hr = work->RunOnOwnThread(TEARDOWN_WAIT_MS, true);
    // Without a thread of its own, the teardown is done here.
    if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_TIMEOUT)) return TearDownHere(stopPlatform);
    return work->closeStatus;
}

HRESULT CPlayer::TearDownHere(bool stopPlatform) {
    const HRESULT hr = CloseAndWait();
    ShutDownSessionAndSource(SUCCEEDED(hr), stopPlatform);
    return hr;
}

HRESULT CPlayer::CloseAndWait() {
    if (!session) return S_OK;
    const HRESULT hr = session->Close();
    if (SUCCEEDED(hr) && closeEvent) WaitForSingleObject(closeEvent.get(), CLOSE_WAIT_MS);
    quirks.SessionClosed(session.Get());
    return hr;
}

void CPlayer::ShutDownSessionAndSource(bool closed, bool stopPlatform) {
    // After a failed close the session is in no state to be shut down.
    if (closed) {
        if (source) source->Shutdown();
        if (session) session->Shutdown();
    }
    ComPtr<IMFMediaSource> releasedSource;
    ComPtr<IMFMediaSession> releasedSession;
    {
        const std::lock_guard<std::mutex> hold(sessionLock);
        releasedSource.Swap(source);
        releasedSession.Swap(session);
    }
    releasedSource.Reset();
    releasedSession.Reset();
    if (stopPlatform) MFShutdown();
    teardownHanded = false;
    SetState(PlayerState::Closed);
}
