#include "player/CPlayer.h"

#include "common/SentMessages.h"
#include "player/InfoTextBuffer.h"
#include "player/QueuedWork.h"
#include "player/Topology.h"

#include <mfapi.h>
#include <mferror.h>
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
// session's close report. Tests: PlayerTest.ShutdownReturnsAtOnceWhateverThePlatformDoesAndFinishesLater
// and Open.DestroyReturnsPromptlyWhilePlayingAndAfterTheEnd.
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
        player_->ShutDownAndLetGo(SUCCEEDED(hr), stopPlatform_);
        player_.Reset();
    }

    ComPtr<CPlayer> player_;
    bool stopPlatform_;
};

class ClockRead final : public QueuedWork {
public:
    explicit ClockRead(IMFPresentationClock* clock) : clock_(clock) {}

    // Valid once the read has run.
    HRESULT status = E_PENDING;
    MFTIME time = 0;

private:
    void Run() override {
        status = clock_->GetTime(&time);
        clock_.Reset();
    }

    ComPtr<IMFPresentationClock> clock_;
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

STDMETHODIMP CPlayer::Invoke(IMFAsyncResult* result) {
    ComPtr<IMFMediaSession> events;
    {
        const std::lock_guard<std::mutex> hold(sessionLock);
        events = session;
    }
    if (!events) return S_OK;
    ComPtr<IMFMediaEvent> event;
    if (FAILED(events->EndGetEvent(result, &event))) return S_OK;
    MediaEventType type = MEUnknown;
    if (FAILED(event->GetType(&type))) return S_OK;

    // The session stops the clock at the end of the presentation by itself, in a later turn of
    // this queue.
    if (type == MEEndOfPresentation) quirks.AtPresentationEnd();

    // Read before signalling: the closing thread then moves on to Closed at once.
    const bool closing = State() == PlayerState::Closing;
    if (type == MESessionClosed) {
        SetEvent(closeEvent.get());
    } else if (FAILED(events->BeginGetEvent(this, nullptr))) {
        return S_OK;
    }
    if (closing) return S_OK;

    // The forwarded event carries its own reference; whoever handles it releases it.
    IMFMediaEvent* forwarded = event.Get();
    forwarded->AddRef();
    const HWND window = eventWindow.load(std::memory_order_acquire);
    if (!window) {
        HandleEvent(forwarded);
    } else if (!PostMessageW(window, WM_PLAYER_EVENT, reinterpret_cast<WPARAM>(forwarded),
                             static_cast<LPARAM>(static_cast<DWORD>(type)))) {
        forwarded->Release();
    }
    return S_OK;
}

HRESULT CPlayer::HandleEvent(IMFMediaEvent* event) {
    if (!event) return E_POINTER;
    ComPtr<IMFMediaEvent> owned;
    owned.Attach(event);

    MediaEventType type = MEUnknown;
    HRESULT hr = event->GetType(&type);
    if (FAILED(hr)) return hr;

    HRESULT status = S_OK;
    hr = event->GetStatus(&status);
    if (SUCCEEDED(hr)) hr = status;
    if (FAILED(hr)) {
        // A stop that reports a failure leaves the session stopped all the same (a short movie's
        // session may have stopped at its end already): nothing plays any more.
        if (type == MESessionStopped && State() == PlayerState::StopPending) {
            SetState(PlayerState::Stopped);
        } else {
            FailOpening();
        }
        return hr;
    }

    switch (type) {
    case MESessionStarted: {
        if (State() == PlayerState::Stopped) return S_OK;
        // A start reported after the end or a stop request came too late: the stop stands.
        if (State() == PlayerState::StopPending) {
            pendingSeek = 0;
            return S_OK;
        }
        SetState(resumeState);
        const LONGLONG seek = pendingSeek;
        pendingSeek = 0;
        if (seek != 0) {
            if (State() == PlayerState::Started || State() == PlayerState::Paused) SetPosition(seek);
        } else if (State() == PlayerState::Paused) {
            RequestPause();
        }
        return S_OK;
    }
    case MESessionPaused:
        if (State() != PlayerState::Stopped) SetState(PlayerState::Paused);
        return S_OK;
    case MESessionStopped:
        SetState(PlayerState::Stopped);
        return S_OK;
    case MESessionTopologyStatus:
        return OnTopologyStatus(event);
    case MENewPresentation:
        return OnNewPresentation(event);
    case MEEndOfPresentation:
        return OnPresentationEnded(event);
    default:
        return OnOtherEvent(event, type);
    }
}

HRESULT CPlayer::OnTopologyStatus(IMFMediaEvent* event) {
    UINT32 status = 0;
    HRESULT hr = event->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &status);
    if (FAILED(hr)) return hr;
    if (status != MF_TOPOSTATUS_READY) return S_OK;

    videoDisplay.Reset();
    if (SUCCEEDED(MFGetService(session.Get(), MR_VIDEO_RENDER_SERVICE, IID_PPV_ARGS(&videoDisplay)))) {
        ReadVideoSize();
    } else {
        videoDisplay.Reset();
    }

    ComPtr<IMFClock> sessionClock;
    if (SUCCEEDED(session->GetClock(&sessionClock)) && sessionClock) {
        clock.Reset();
        sessionClock.As(&clock);
    }
    if (videoDisplay) videoDisplay->SetRenderingPrefs(MFVideoRenderPrefs_DoNotRepaintOnStop);
    quirks.TopologyReady(session.Get(), clock.Get());

    hr = RequestStart();
    // A start that fails while opening would leave attach waiting for nothing: opening failed.
    if (FAILED(hr)) FailOpening();
    return hr;
}

void CPlayer::ReadVideoSize() {
    SIZE native{};
    if (!videoDisplay || FAILED(videoDisplay->GetNativeVideoSize(&native, nullptr))) return;
    videoWidth = static_cast<UINT32>(native.cx);
    videoHeight = static_cast<UINT32>(native.cy);
}

HRESULT CPlayer::OnPresentationEnded(IMFMediaEvent*) {
    RequestStop();
    return S_OK;
}

HRESULT CPlayer::OnNewPresentation(IMFMediaEvent* event) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (FAILED(event->GetValue(&value))) return S_OK;
    ComPtr<IMFPresentationDescriptor> descriptor;
    if (value.vt == VT_UNKNOWN && value.punkVal) value.punkVal->QueryInterface(IID_PPV_ARGS(&descriptor));
    PropVariantClear(&value);
    if (!descriptor) return S_OK;

    BeginPresentation(descriptor.Get());
    return S_OK;
}

HRESULT CPlayer::BeginFirstPresentation() {
    if (!source || !session) return E_POINTER;
    ComPtr<IMFPresentationDescriptor> descriptor;
    const HRESULT hr = source->CreatePresentationDescriptor(&descriptor);
    if (FAILED(hr)) return hr;
    descriptor->GetUINT64(MF_PD_DURATION, reinterpret_cast<UINT64*>(&duration));
    return BeginPresentation(descriptor.Get());
}

HRESULT CPlayer::BeginPresentation(IMFPresentationDescriptor* descriptor) {
    ComPtr<IMFTopology> topology;
    HRESULT hr = CreatePlaybackTopology(source.Get(), descriptor, videoWindow, fileVideo, &topology);
    if (FAILED(hr)) return hr;
    // Stored before the session can report on the topology, so that its report is never lost.
    const PlayerState previous = State();
    SetState(PlayerState::OpenPending);
    hr = session->SetTopology(0, topology.Get());
    if (FAILED(hr)) SetState(previous);
    return hr;
}

HRESULT CPlayer::OnOtherEvent(IMFMediaEvent*, MediaEventType) { return S_OK; }

HRESULT CPlayer::StartAt(const PROPVARIANT& position, const GUID* timeFormat) {
    if (!session) return E_POINTER;
    return session->Start(timeFormat, &position);
}

HRESULT CPlayer::RequestStart() {
    PROPVARIANT position;
    PropVariantInit(&position);
    const HRESULT hr = StartAt(position, &GUID_NULL);
    PropVariantClear(&position);
    if (FAILED(hr)) return hr;
    resumeState = PlayerState::Started;
    SetState(PlayerState::StartPending);
    return hr;
}

HRESULT CPlayer::RequestPlay() {
    if (State() == PlayerState::StartPending) {
        resumeState = PlayerState::Started;
        return S_OK;
    }
    if (!session || !source) return E_POINTER;
    if (videoDisplay) videoDisplay->SetRenderingPrefs(MFVideoRenderPrefs_DoNotRepaintOnStop);
    return RequestStart();
}

HRESULT CPlayer::RequestPause() {
    if (!session || !source) return E_POINTER;
    quirks.BeforeClockTurn();
    const HRESULT hr = session->Pause();
    if (SUCCEEDED(hr)) SetState(PlayerState::PausePending);
    return hr;
}

HRESULT CPlayer::RequestStop() {
    if (!session) return E_POINTER;
    quirks.BeforeClockTurn();
    const HRESULT hr = session->Stop();
    if (SUCCEEDED(hr)) SetState(PlayerState::StopPending);
    return hr;
}

bool CPlayer::EndOverdueStop(ULONGLONG nowMs) {
    if (State() != PlayerState::StopPending) return false;
    if (!PlatformQuirks::StopOverdue(stopRequestedAtMs.load(std::memory_order_acquire), nowMs)) return false;
    return MoveState(PlayerState::StopPending, PlayerState::Stopped);
}

bool CPlayer::EndOverduePresentation(LONGLONG clockTime) {
    if (State() != PlayerState::Started || !quirks.PresentationOverdue(clockTime, duration)) return false;
    return SUCCEEDED(RequestStop());
}

bool CPlayer::PositionIn(PlayerState state, LONGLONG* position) {
    if (state == PlayerState::Started) return ReadClock(CLOCK_READ_WAIT_MS, position);
    if (state != PlayerState::StopPending && state != PlayerState::Stopped) return false;
    *position = 0;
    return true;
}

bool CPlayer::ReadClock(DWORD waitMs, LONGLONG* time) {
    if (!clock) return false;
    if (lateClockRead) {
        if (!lateClockRead->Done()) return false;
        lateClockRead.Reset();
    }
    ComPtr<ClockRead> read;
    read.Attach(new (std::nothrow) ClockRead(clock.Get()));
    if (!read) return false;
    const HRESULT hr = read->RunOn(MFASYNC_CALLBACK_QUEUE_MULTITHREADED, waitMs);
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) lateClockRead = read;
    if (FAILED(hr) || FAILED(read->status)) return false;
    *time = read->time;
    return true;
}

HRESULT CPlayer::SetPosition(const LONGLONG& position) {
    const PlayerState current = State();
    if (current == PlayerState::StartPending || current == PlayerState::PausePending) {
        pendingSeek = position;
        return S_FALSE;
    }
    if (current != PlayerState::Started && current != PlayerState::Paused) return E_FAIL;

    PROPVARIANT start;
    PropVariantInit(&start);
    start.vt = VT_I8;
    start.hVal.QuadPart = position;
    const HRESULT hr = StartAt(start, nullptr);
    PropVariantClear(&start);
    if (FAILED(hr)) return hr;
    // This seek is newer than any deferred one, which must not be issued on top of it.
    pendingSeek = 0;
    resumeState = current;
    SetState(PlayerState::StartPending);
    return hr;
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

void CPlayer::PlaceVideo(const MFVideoNormalizedRect& source, const RECT& destination) {
    if (!videoDisplay) return;
    quirks.PlaceVideo(videoDisplay.Get(), source, quirks.RendererDestination(videoWindow, destination));
}

HRESULT CPlayer::RepaintVideo() {
    if (!videoDisplay) return E_POINTER;
    return videoDisplay->RepaintVideo();
}

bool CPlayer::BuildPropertiesReport(DWORD waitMs, const wchar_t** report) {
    if (!infoText) infoText.reset(new (std::nothrow) InfoTextBuffer);
    if (!infoText) return false;
    const HRESULT hr = BuildReportWithin(source.Get(), waitMs, *infoText);
    *report = nullptr;
    if (SUCCEEDED(hr)) *report = infoText->buffer ? infoText->buffer.get() : L"";
    return true;
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
    if (session) SetState(PlayerState::Closing);

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
    ShutDownAndLetGo(SUCCEEDED(hr), stopPlatform);
    return hr;
}

HRESULT CPlayer::CloseAndWait() {
    if (!session) return S_OK;
    quirks.BeforeClockTurn();
    const HRESULT hr = session->Close();
    if (SUCCEEDED(hr) && closeEvent) WaitForSingleObject(closeEvent.get(), CLOSE_WAIT_MS);
    quirks.SessionClosed(session.Get());
    return hr;
}

void CPlayer::ShutDownAndLetGo(bool closed, bool stopPlatform) {
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
