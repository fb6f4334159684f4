#include "player/CPlayer.h"

#include "player/InfoTextBuffer.h"
#include "player/QueuedWork.h"
#include "player/Topology.h"

#include <mfapi.h>
#include <mferror.h>
#include <shlwapi.h>

#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// How long closing the session may take before teardown goes on regardless.
constexpr DWORD CLOSE_WAIT_MS = 5000;
// How long teardown waits for each of the platform's shared work queues to reach its turn.
constexpr DWORD QUEUED_WORK_WAIT_MS = 500;
// How long the source's and session's shutdown may hold the caller: with the close wait and the
// queues' turns, a teardown stays under ten seconds.
constexpr DWORD SHUTDOWN_WAIT_MS = 3000;

// Shuts the source and then the session down, and lets both go.
class SessionShutdown final : public QueuedWork {
public:
    SessionShutdown(ComPtr<IMFMediaSource> source, ComPtr<IMFMediaSession> session)
        : source_(std::move(source)), session_(std::move(session)) {}

private:
    void Run() override {
        if (source_) source_->Shutdown();
        if (session_) session_->Shutdown();
        source_.Reset();
        session_.Reset();
    }

    ComPtr<IMFMediaSource> source_;
    ComPtr<IMFMediaSession> session_;
};

// Late in a long run the platform's shutdown now and then never returns. It runs on a thread of
// its own, so that it holds the host's thread no longer than SHUTDOWN_WAIT_MS; past that it is
// left to finish there, or never. On the platform's shared queue for long work it would keep one
// of the few threads that opening the next file waits for.
void ShutDownElsewhere(ComPtr<IMFMediaSource> source, ComPtr<IMFMediaSession> session) {
    ComPtr<SessionShutdown> work;
    work.Attach(new (std::nothrow) SessionShutdown(source, session));
    const HRESULT hr = work ? work->RunOnOwnThread(SHUTDOWN_WAIT_MS, true) : E_OUTOFMEMORY;
    if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) return;
    // Without a platform queue to run on, it is done here.
    if (source) source->Shutdown();
    if (session) session->Shutdown();
}

}  // namespace

CPlayer::CPlayer() = default;

CPlayer::~CPlayer() {
    Shutdown();
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

bool CPlayer::FailOpening() {
    PlayerState expected = PlayerState::OpenPending;
    if (!state.compare_exchange_strong(expected, PlayerState::Closing, std::memory_order_acq_rel)) return false;
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
    ComPtr<IMFMediaSession> events = session;
    if (!events) return S_OK;
    ComPtr<IMFMediaEvent> event;
    if (FAILED(events->EndGetEvent(result, &event))) return S_OK;
    MediaEventType type = MEUnknown;
    if (FAILED(event->GetType(&type))) return S_OK;

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
        SIZE native{};
        if (SUCCEEDED(videoDisplay->GetNativeVideoSize(&native, nullptr))) {
            videoWidth = static_cast<UINT32>(native.cx);
            videoHeight = static_cast<UINT32>(native.cy);
        }
    } else {
        videoDisplay.Reset();
    }

    ComPtr<IMFClock> sessionClock;
    if (SUCCEEDED(session->GetClock(&sessionClock)) && sessionClock) {
        clock.Reset();
        sessionClock.As(&clock);
    }
    if (videoDisplay) videoDisplay->SetRenderingPrefs(MFVideoRenderPrefs_DoNotRepaintOnStop);

    hr = RequestStart();
    // A start that fails while opening would leave attach waiting for nothing: opening failed.
    if (FAILED(hr)) FailOpening();
    return hr;
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

    ComPtr<IMFTopology> topology;
    if (FAILED(CreatePlaybackTopology(source.Get(), descriptor.Get(), videoWindow, &topology))) return S_OK;
    // Stored before the session can report on the new topology, so that its report wins.
    const PlayerState previous = State();
    SetState(PlayerState::OpenPending);
    if (FAILED(session->SetTopology(0, topology.Get()))) SetState(previous);
    return S_OK;
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

HRESULT CPlayer::RequestPause() {
    if (!session || !source) return E_POINTER;
    const HRESULT hr = session->Pause();
    if (SUCCEEDED(hr)) SetState(PlayerState::PausePending);
    return hr;
}

HRESULT CPlayer::RequestStop() {
    if (!session) return E_POINTER;
    const HRESULT hr = session->Stop();
    if (SUCCEEDED(hr)) SetState(PlayerState::StopPending);
    return hr;
}

bool CPlayer::EndOverdueStop(ULONGLONG nowMs) {
    if (State() != PlayerState::StopPending) return false;
    if (nowMs - stopRequestedAtMs.load(std::memory_order_acquire) < STOP_REPORT_WAIT_MS) return false;
    PlayerState expected = PlayerState::StopPending;
    if (!state.compare_exchange_strong(expected, PlayerState::Stopped, std::memory_order_acq_rel)) return false;
    if (stateChanged) SetEvent(stateChanged.get());
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
    clock.Reset();
    videoDisplay.Reset();

    HRESULT hr = S_OK;
    if (session) {
        SetState(PlayerState::Closing);
        hr = session->Close();
        if (SUCCEEDED(hr) && closeEvent) WaitForSingleObject(closeEvent.get(), CLOSE_WAIT_MS);
        // The session's shutdown frees its topology, while reports of frames coming back to the
        // video renderer can still arrive and use it: the renderer is told to stop reporting,
        // and reports already queued are let through first.
        DetachVideoSampleAllocators(session.Get());
        LetQueuedWorkRun(QUEUED_WORK_WAIT_MS);
    }
    if (SUCCEEDED(hr)) ShutDownElsewhere(std::move(source), std::move(session));
    source.Reset();
    session.Reset();
    SetState(PlayerState::Closed);
    return hr;
}

void CPlayer::Shutdown() {
    CloseSession();
    if (platformStarted) {
        MFShutdown();
        platformStarted = false;
    }
    closeEvent.reset();
}
