#include "FakeSession.h"

#include <mferror.h>

#include <thread>

using Microsoft::WRL::ComPtr;

FakeSession::FakeSession() = default;
FakeSession::~FakeSession() = default;

STDMETHODIMP FakeSession::GetEvent(DWORD, IMFMediaEvent**) { return E_NOTIMPL; }

STDMETHODIMP FakeSession::BeginGetEvent(IMFAsyncCallback* callback, IUnknown*) {
    std::lock_guard<std::mutex> lock(mutex_);
    callback_ = callback;
    return S_OK;
}

STDMETHODIMP FakeSession::EndGetEvent(IMFAsyncResult*, IMFMediaEvent** event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_) return E_FAIL;
    *event = pending_.Detach();
    return S_OK;
}

STDMETHODIMP FakeSession::QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) { return E_NOTIMPL; }

void FakeSession::Record(SessionCall call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
}

STDMETHODIMP FakeSession::SetTopology(DWORD, IMFTopology*) {
    Record({"SetTopology"});
    return setTopologyResult;
}

STDMETHODIMP FakeSession::ClearTopologies() { return S_OK; }

void FakeSession::WaitToTakeCommand() const {
    if (commandsWaitFor) WaitForSingleObject(commandsWaitFor, 30000);
}

STDMETHODIMP FakeSession::Start(const GUID* timeFormat, const PROPVARIANT* start) {
    WaitToTakeCommand();
    SessionCall call{"Start"};
    call.hasTimeFormat = timeFormat != nullptr;
    if (timeFormat) call.timeFormat = *timeFormat;
    if (start) {
        call.startType = start->vt;
        if (start->vt == VT_I8) call.startPosition = start->hVal.QuadPart;
    }
    Record(call);
    return startResult;
}

STDMETHODIMP FakeSession::Pause() {
    WaitToTakeCommand();
    Record({"Pause"});
    return pauseResult;
}

STDMETHODIMP FakeSession::Stop() {
    WaitToTakeCommand();
    Record({"Stop"});
    return stopResult;
}

STDMETHODIMP FakeSession::Close() {
    Record({"Close"});
    if (SUCCEEDED(closeResult) && closeReportsClosed) {
        ComPtr<FakeSession> self(this);
        std::thread([self] {
            Sleep(20);
            self->Fire(MESessionClosed);
        }).detach();
    }
    return closeResult;
}

STDMETHODIMP FakeSession::Shutdown() {
    Record({"Shutdown"});
    if (onShutdown) onShutdown();
    return S_OK;
}

STDMETHODIMP FakeSession::GetClock(IMFClock**) { return E_NOTIMPL; }
STDMETHODIMP FakeSession::GetSessionCapabilities(DWORD*) { return E_NOTIMPL; }
STDMETHODIMP FakeSession::GetFullTopology(DWORD, TOPOID, IMFTopology** topology) {
    if (!topology) return E_POINTER;
    if (!fullTopology) return MF_E_NOT_FOUND;
    return fullTopology.CopyTo(topology);
}

bool FakeSession::Fire(IMFMediaEvent* event) {
    ComPtr<IMFAsyncCallback> callback;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!callback_) return false;
        // Swap rather than move-assign: mingw's ComPtr copies on move assignment.
        callback.Swap(callback_);
        pending_ = event;
    }
    ComPtr<IMFAsyncResult> result;
    if (FAILED(MFCreateAsyncResult(nullptr, callback.Get(), nullptr, &result))) return false;
    callback->Invoke(result.Get());
    return true;
}

bool FakeSession::Fire(MediaEventType type, HRESULT status) { return Fire(MakeEvent(type, status).Get()); }

std::vector<SessionCall> FakeSession::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<std::string> FakeSession::CallNames() const {
    std::vector<std::string> names;
    for (const auto& call : Calls()) names.push_back(call.name);
    return names;
}

void FakeSession::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

ComPtr<IMFMediaEvent> MakeEvent(MediaEventType type, HRESULT status, const PROPVARIANT* value) {
    ComPtr<IMFMediaEvent> event;
    MFCreateMediaEvent(type, GUID_NULL, status, value, &event);
    return event;
}
