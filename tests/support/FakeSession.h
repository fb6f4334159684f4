#pragma once
// A media session double: records the requests made of it, answers them with chosen statuses,
// and delivers events to its callback the way the platform does (BeginGetEvent, Invoke,
// EndGetEvent), so that the player's real event path runs.

#include "common/ComObject.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct SessionCall {
    std::string name;          // "Start", "Pause", "Stop", "Close", "SetTopology", "Shutdown"
    bool hasTimeFormat = false;
    GUID timeFormat = GUID_NULL;
    VARTYPE startType = VT_EMPTY;
    LONGLONG startPosition = 0;
};

class FakeSession : public ComObject<WithBases<IMFMediaSession, IMFMediaEventGenerator>> {
public:
    FakeSession();

    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
    STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                            const PROPVARIANT* value) override;

    STDMETHODIMP SetTopology(DWORD flags, IMFTopology* topology) override;
    STDMETHODIMP ClearTopologies() override;
    STDMETHODIMP Start(const GUID* timeFormat, const PROPVARIANT* start) override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Close() override;
    STDMETHODIMP Shutdown() override;
    STDMETHODIMP GetClock(IMFClock** clock) override;
    STDMETHODIMP GetSessionCapabilities(DWORD* caps) override;
    STDMETHODIMP GetFullTopology(DWORD flags, TOPOID id, IMFTopology** topology) override;

    // Delivers an event through the armed callback on the calling thread. False when no
    // callback is armed (the player's event loop has ended).
    bool Fire(IMFMediaEvent* event);
    bool Fire(MediaEventType type, HRESULT status = S_OK);

    std::vector<SessionCall> Calls() const;
    std::vector<std::string> CallNames() const;
    void ClearCalls();
    bool Armed() const { return callback_ != nullptr; }

    HRESULT startResult = S_OK;
    HRESULT pauseResult = S_OK;
    HRESULT stopResult = S_OK;
    HRESULT closeResult = S_OK;
    HRESULT setTopologyResult = S_OK;
    // When set, Start, Pause and Stop take their request only once it is signalled (at most
    // 30 s), as a session stuck in work of its own holds them.
    HANDLE commandsWaitFor = nullptr;
    // Runs inside Shutdown, on the thread that called it.
    std::function<void()> onShutdown;
    // What GetFullTopology answers; none by default.
    Microsoft::WRL::ComPtr<IMFTopology> fullTopology;
    // Whether a successful Close delivers MESessionClosed (from another thread, as the platform).
    bool closeReportsClosed = true;

private:
    ~FakeSession() override;
    void Record(SessionCall call);
    void WaitToTakeCommand() const;

    mutable std::mutex mutex_;
    std::vector<SessionCall> calls_;
    Microsoft::WRL::ComPtr<IMFAsyncCallback> callback_;
    Microsoft::WRL::ComPtr<IMFMediaEvent> pending_;
};

// A media event of the given type and status, as the platform makes them.
Microsoft::WRL::ComPtr<IMFMediaEvent> MakeEvent(MediaEventType type, HRESULT status = S_OK,
                                                const PROPVARIANT* value = nullptr);
