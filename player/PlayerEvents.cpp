#include "player/CPlayer.h"

#include "player/Topology.h"

#include <mfapi.h>

#include <mutex>

using Microsoft::WRL::ComPtr;

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

    // Held from the check until the event is posted: the move to Closing takes it too, so an
    // event is either in the window's queue before the teardown drains it or never posted.
    std::unique_lock<std::mutex> forwarding(forwardLock);
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
        // Nothing is posted: handling may itself give up opening, which needs no lock.
        forwarding.unlock();
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
