#include "bench/MinimalPlayer.h"

#include "common/ComObject.h"
#include "host/support/MessagePump.h"
#include "player/Topology.h"
#include "viewer/SharedFileStream.h"

#include <mfapi.h>
#include <mferror.h>

#include <deque>
#include <mutex>
#include <optional>

namespace bench {

using Microsoft::WRL::ComPtr;

// Collects a session's events on the platform's thread and hands them to a waiting thread.
class SessionEvents final : public ComObject<IMFAsyncCallback> {
public:
    explicit SessionEvents(IMFMediaSession* session)
        : session_(session), arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

    HRESULT Listen() { return arrived_ ? session_->BeginGetEvent(this, nullptr) : E_OUTOFMEMORY; }

    // Waits for an event of the given type (for MESessionTopologyStatus: the ready status).
    // An event with a failure status ends the wait with that status: after a failed
    // SetTopology the session still reports the topology as ready.
    HRESULT WaitFor(MediaEventType type, DWORD timeoutMs) {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        for (;;) {
            if (const std::optional<HRESULT> outcome = Take(type)) return *outcome;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
            WaitPumping(arrived_, static_cast<DWORD>(deadline - now));
        }
    }

    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }

    STDMETHODIMP Invoke(IMFAsyncResult* result) override {
        ComPtr<IMFMediaEvent> event;
        Record record{MEError, session_->EndGetEvent(result, &event), 0};
        if (SUCCEEDED(record.status)) {
            event->GetType(&record.type);
            event->GetStatus(&record.status);
            if (record.type == MESessionTopologyStatus) {
                event->GetUINT32(MF_EVENT_TOPOLOGY_STATUS, &record.topologyStatus);
            }
        }
        // The request held by the session keeps this object alive; after the last event
        // (or a failed request) nothing is left pending, and the session lets go of it.
        const bool more = SUCCEEDED(record.status) && record.type != MESessionClosed;
        const HRESULT relisten = more ? session_->BeginGetEvent(this, nullptr) : S_OK;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            records_.push_back(record);
            if (FAILED(relisten)) records_.push_back(Record{MEError, relisten, 0});
        }
        SetEvent(arrived_);
        return S_OK;
    }

private:
    struct Record {
        MediaEventType type;
        HRESULT status;
        UINT32 topologyStatus;
    };

    ~SessionEvents() override { CloseHandle(arrived_); }

    std::optional<HRESULT> Take(MediaEventType type) {
        const std::lock_guard<std::mutex> lock(mutex_);
        while (!records_.empty()) {
            const Record record = records_.front();
            records_.pop_front();
            if (FAILED(record.status)) return record.status;
            const bool ready = type != MESessionTopologyStatus || record.topologyStatus == MF_TOPOSTATUS_READY;
            if (record.type == type && ready) return S_OK;
        }
        return std::nullopt;
    }

    ComPtr<IMFMediaSession> session_;
    HANDLE arrived_;
    std::mutex mutex_;
    std::deque<Record> records_;
};

namespace {

// Some sources offer only uncompressed video with I420 first, which a video renderer may
// refuse; NV12 is what every renderer takes. A source of compressed types has no NV12
// entry, and nothing changes.
HRESULT PreferNv12(IMFMediaTypeHandler* handler) {
    ComPtr<IMFMediaType> current;
    GUID subtype = GUID_NULL;
    if (SUCCEEDED(handler->GetCurrentMediaType(&current)) &&
        SUCCEEDED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFVideoFormat_NV12) {
        return S_OK;
    }
    DWORD typeCount = 0;
    HRESULT hr = handler->GetMediaTypeCount(&typeCount);
    for (DWORD i = 0; SUCCEEDED(hr) && i < typeCount; ++i) {
        ComPtr<IMFMediaType> offered;
        hr = handler->GetMediaTypeByIndex(i, &offered);
        if (SUCCEEDED(hr) && SUCCEEDED(offered->GetGUID(MF_MT_SUBTYPE, &subtype)) &&
            subtype == MFVideoFormat_NV12) {
            return handler->SetCurrentMediaType(offered.Get());
        }
    }
    return hr;
}

}  // namespace

MinimalPlayer::MinimalPlayer(bool throughSharedFile) : throughSharedFile_(throughSharedFile) {}

MinimalPlayer::~MinimalPlayer() { Close(); }

HRESULT MinimalPlayer::Play(const wchar_t* path, HWND videoWindow, PlaySteps* steps) {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER called{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&called);
    const auto mark = [&](double PlaySteps::*step) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        if (steps) {
            steps->*step = 1000.0 * static_cast<double>(now.QuadPart - called.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
        }
    };
    ComPtr<IMFSourceResolver> resolver;
    ComPtr<IUnknown> object;
    ComPtr<IMFPresentationDescriptor> descriptor;
    ComPtr<IMFTopology> topology;
    PROPVARIANT start;
    PropVariantInit(&start);
    HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_FULL);
    platformStarted_ = SUCCEEDED(hr);
    if (SUCCEEDED(hr)) hr = MFCreateMediaSession(nullptr, &session_);
    if (SUCCEEDED(hr)) events_.Attach(new SessionEvents(session_.Get()));
    if (SUCCEEDED(hr)) hr = events_->Listen();
    if (SUCCEEDED(hr)) hr = MFCreateSourceResolver(&resolver);
    mark(&PlaySteps::sessionMs);
    if (SUCCEEDED(hr)) hr = Resolve(resolver.Get(), path, &object);
    if (SUCCEEDED(hr)) hr = object.As(&source_);
    mark(&PlaySteps::resolvedMs);
    if (SUCCEEDED(hr)) hr = source_->CreatePresentationDescriptor(&descriptor);
    if (SUCCEEDED(hr)) hr = BuildTopology(descriptor.Get(), videoWindow, &topology);
    mark(&PlaySteps::topologyMs);
    if (SUCCEEDED(hr)) hr = session_->SetTopology(0, topology.Get());
    if (SUCCEEDED(hr)) hr = events_->WaitFor(MESessionTopologyStatus, EVENT_TIMEOUT_MS);
    mark(&PlaySteps::readyMs);
    if (SUCCEEDED(hr)) hr = session_->Start(&GUID_NULL, &start);
    mark(&PlaySteps::startAskedMs);
    if (SUCCEEDED(hr)) hr = events_->WaitFor(MESessionStarted, EVENT_TIMEOUT_MS);
    mark(&PlaySteps::startedMs);
    PropVariantClear(&start);
    return hr;
}

HRESULT MinimalPlayer::Resolve(IMFSourceResolver* resolver, const wchar_t* path, IUnknown** object) {
    MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
    if (!throughSharedFile_) {
        return resolver->CreateObjectFromURL(path, MF_RESOLUTION_MEDIASOURCE, nullptr, &type, object);
    }
    ComPtr<IStream> stream;
    HRESULT hr = OpenSharedFileStream(path, &stream);
    if (FAILED(hr)) return hr;
    ComPtr<IMFByteStream> bytes;
    hr = MFCreateMFByteStreamOnStream(stream.Get(), &bytes);
    if (FAILED(hr)) return hr;
    return resolver->CreateObjectFromByteStream(bytes.Get(), path, MF_RESOLUTION_MEDIASOURCE, nullptr, &type, object);
}

HRESULT MinimalPlayer::Seek(LONGLONG position) {
    if (!session_ || !events_) return MF_E_INVALIDREQUEST;
    PROPVARIANT start;
    PropVariantInit(&start);
    start.vt = VT_I8;
    start.hVal.QuadPart = position;
    HRESULT hr = session_->Start(nullptr, &start);
    if (SUCCEEDED(hr)) hr = events_->WaitFor(MESessionStarted, EVENT_TIMEOUT_MS);
    PropVariantClear(&start);
    return hr;
}

HRESULT MinimalPlayer::Position(MFTIME* time) {
    if (!session_) return MF_E_INVALIDREQUEST;
    HRESULT hr = S_OK;
    if (!clock_) {
        ComPtr<IMFClock> sessionClock;
        hr = session_->GetClock(&sessionClock);
        if (SUCCEEDED(hr)) hr = sessionClock.As(&clock_);
    }
    if (SUCCEEDED(hr)) hr = clock_->GetTime(time);
    return hr;
}

HRESULT MinimalPlayer::Close() {
    HRESULT hr = S_OK;
    if (session_ && events_) {
        hr = session_->Close();
        if (SUCCEEDED(hr)) hr = events_->WaitFor(MESessionClosed, EVENT_TIMEOUT_MS);
        // Without this the platform's session now and then crashes after its shutdown, on
        // a report of a frame the video renderer gives back late.
        DetachVideoSampleAllocators(session_.Get());
    }
    if (source_) source_->Shutdown();
    if (session_) session_->Shutdown();
    clock_.Reset();
    source_.Reset();
    session_.Reset();
    events_.Reset();
    if (platformStarted_) MFShutdown();
    platformStarted_ = false;
    return hr;
}

HRESULT MinimalPlayer::BuildTopology(IMFPresentationDescriptor* descriptor, HWND videoWindow, IMFTopology** topology) {
    ComPtr<IMFTopology> built;
    DWORD streamCount = 0;
    HRESULT hr = MFCreateTopology(&built);
    if (SUCCEEDED(hr)) hr = descriptor->GetStreamDescriptorCount(&streamCount);
    for (DWORD i = 0; SUCCEEDED(hr) && i < streamCount; ++i) {
        hr = AddBranch(built.Get(), descriptor, i, videoWindow);
    }
    if (SUCCEEDED(hr)) *topology = built.Detach();
    return hr;
}

// Source node -> renderer node for one selected stream; other stream kinds are deselected.
HRESULT MinimalPlayer::AddBranch(IMFTopology* topology, IMFPresentationDescriptor* descriptor, DWORD index,
                                 HWND videoWindow) {
    BOOL selected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFActivate> renderer;
    ComPtr<IMFTopologyNode> sourceNode;
    ComPtr<IMFTopologyNode> outputNode;
    GUID majorType = GUID_NULL;
    HRESULT hr = descriptor->GetStreamDescriptorByIndex(index, &selected, &stream);
    if (FAILED(hr) || !selected) return hr;
    hr = stream->GetMediaTypeHandler(&handler);
    if (SUCCEEDED(hr)) hr = handler->GetMajorType(&majorType);
    if (FAILED(hr)) return hr;
    if (majorType == MFMediaType_Video) {
        hr = PreferNv12(handler.Get());
        if (SUCCEEDED(hr)) hr = MFCreateVideoRendererActivate(videoWindow, &renderer);
    } else if (majorType == MFMediaType_Audio) {
        hr = MFCreateAudioRendererActivate(&renderer);
    } else {
        return descriptor->DeselectStream(index);
    }
    if (SUCCEEDED(hr)) hr = MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, &sourceNode);
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_SOURCE, source_.Get());
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, descriptor);
    if (SUCCEEDED(hr)) hr = sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream.Get());
    if (SUCCEEDED(hr)) hr = topology->AddNode(sourceNode.Get());
    if (SUCCEEDED(hr)) hr = MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, &outputNode);
    if (SUCCEEDED(hr)) hr = outputNode->SetObject(renderer.Get());
    if (SUCCEEDED(hr)) hr = topology->AddNode(outputNode.Get());
    if (SUCCEEDED(hr)) hr = sourceNode->ConnectOutput(0, outputNode.Get(), 0);
    return hr;
}

}  // namespace bench
