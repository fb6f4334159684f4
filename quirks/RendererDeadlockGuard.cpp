#include "quirks/RendererDeadlockGuard.h"

#include "common/Owned.h"
#include "player/QueuedWork.h"

#include <evr.h>
#include <mfapi.h>

#include <mutex>
#include <new>

using Microsoft::WRL::ComPtr;

namespace {

// The longest the tracking thread is held, whatever the clocks do.
constexpr DWORD HOLD_LIMIT_MS = 1000;
// How long a hold waits for the tracking thread to take it up.
constexpr DWORD HOLD_TAKE_WAIT_MS = 500;

// One tracking thread serves every renderer of the process, so one hold serves every guard.
struct TrackingThreadHold {
    std::mutex lock;
    int awaitedGuards = 0;
    // The report is on the tracking thread, or on its way there.
    bool held = false;
    OwnedEvent letGo{CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    OwnedEvent taken{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// Never destroyed: a held report may still be waiting on the tracking thread while the process
// runs its exit-time destructors.
TrackingThreadHold& Hold() {
    static TrackingThreadHold& hold = *new TrackingThreadHold;
    return hold;
}

// The report the tracking thread is held with: it runs there until the guards let it go.
class HeldReport final : public ComObject<IMFAsyncCallback> {
public:
    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }

    STDMETHODIMP Invoke(IMFAsyncResult*) override {
        TrackingThreadHold& hold = Hold();
        SetEvent(hold.taken.get());
        const ULONGLONG deadline = GetTickCount64() + HOLD_LIMIT_MS;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now < deadline) WaitForSingleObject(hold.letGo.get(), static_cast<DWORD>(deadline - now));
            const std::lock_guard<std::mutex> guard(hold.lock);
            // A guard that came in meanwhile keeps the hold, up to the same limit.
            if (hold.awaitedGuards == 0 || GetTickCount64() >= deadline) {
                hold.held = false;
                return S_OK;
            }
        }
    }
};

using CreateSampleFn = HRESULT(WINAPI*)(IUnknown*, IMFSample**);

// The tracking thread reports the last release of a tracked sample: a sample made for the
// purpose, tracked by report, and let go here.
bool PostReport(IMFAsyncCallback* report) {
    const HMODULE evr = GetModuleHandleW(L"evr.dll");
    const auto create = evr ? reinterpret_cast<CreateSampleFn>(
                                  reinterpret_cast<void*>(GetProcAddress(evr, "MFCreateVideoSampleFromSurface")))
                            : nullptr;
    if (!create || !report) return false;
    ComPtr<IMFSample> sample;
    ComPtr<IMFTrackedSample> tracked;
    return SUCCEEDED(create(nullptr, &sample)) && SUCCEEDED(sample.As(&tracked)) &&
           SUCCEEDED(tracked->SetAllocator(report, nullptr));
}

bool PostHeldReport() {
    ComPtr<HeldReport> report;
    report.Attach(new (std::nothrow) HeldReport);
    return PostReport(report.Get());
}

class LetGoAfterTurn final : public QueuedWork {
public:
    explicit LetGoAfterTurn(RendererDeadlockGuard* guard) : guard_(guard) {}

private:
    void Run() override { guard_->LetTrackingThreadGo(); }

    ComPtr<RendererDeadlockGuard> guard_;
};

}  // namespace

ComPtr<RendererDeadlockGuard> RendererDeadlockGuard::Listen(IMFPresentationClock* clock) {
    if (!clock) return nullptr;
    ComPtr<RendererDeadlockGuard> guard;
    guard.Attach(new (std::nothrow) RendererDeadlockGuard(clock));
    if (!guard || FAILED(clock->AddClockStateSink(guard.Get()))) return nullptr;
    return guard;
}

void RendererDeadlockGuard::HoldTrackingThread() {
    if (!streaming_) return;
    TrackingThreadHold& hold = Hold();
    bool post = false;
    {
        const std::lock_guard<std::mutex> guard(hold.lock);
        if (!awaited_) {
            awaited_ = true;
            if (hold.awaitedGuards++ == 0) ResetEvent(hold.letGo.get());
        }
        if (!hold.held) {
            hold.held = post = true;
            ResetEvent(hold.taken.get());
        }
    }
    if (post && !PostHeldReport()) {
        const std::lock_guard<std::mutex> guard(hold.lock);
        hold.held = false;
        return;
    }
    // The tracking thread may first finish a report of the renderer's, which the clock's turn
    // no longer meets once it is queued behind this.
    WaitForSingleObject(hold.taken.get(), HOLD_TAKE_WAIT_MS);
}

void RendererDeadlockGuard::LetTrackingThreadGo() {
    TrackingThreadHold& hold = Hold();
    const std::lock_guard<std::mutex> guard(hold.lock);
    if (!awaited_) return;
    awaited_ = false;
    if (--hold.awaitedGuards == 0) SetEvent(hold.letGo.get());
}

void RendererDeadlockGuard::ClockTurns(bool streaming) {
    ComPtr<IMFPresentationClock> clock;
    {
        const std::lock_guard<std::mutex> hold(clockLock_);
        clock = clock_;
    }
    if (!clock) return;
    if (streaming_) {
        HoldTrackingThread();
        // The clock queues every listener's report under its own lock, which this waits for:
        // the item queued next comes after the renderer's turn.
        MFCLOCK_STATE state{};
        clock->GetState(0, &state);
        ComPtr<LetGoAfterTurn> letGo;
        letGo.Attach(new (std::nothrow) LetGoAfterTurn(this));
        const HRESULT hr = letGo ? letGo->RunOn(MFASYNC_CALLBACK_QUEUE_STANDARD, 0) : E_OUTOFMEMORY;
        if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_TIMEOUT)) LetTrackingThreadGo();
    }
    const std::lock_guard<std::mutex> hold(clockLock_);
    if (clock_) streaming_ = streaming;
}

// The restart's turn on the tracking thread. It holds the guard alone: the presenter stays with
// the guard, whose detach lets it go, so that the presenter is never destroyed here.
class RendererDeadlockGuard::Restart final : public ComObject<IMFAsyncCallback> {
public:
    explicit Restart(RendererDeadlockGuard* guard) : guard_(guard) {}

    STDMETHODIMP GetParameters(DWORD*, DWORD*) override { return E_NOTIMPL; }

    STDMETHODIMP Invoke(IMFAsyncResult*) override {
        guard_->RestartHere();
        return S_OK;
    }

private:
    ComPtr<RendererDeadlockGuard> guard_;
};

void RendererDeadlockGuard::RestartStreaming(IMFVideoPresenter* presenter) {
    if (!presenter) return;
    {
        const std::lock_guard<std::mutex> hold(restartLock_);
        // Read under the lock: a detach stops the streaming before it takes the lock.
        if (!streaming_) return;
        restartPresenter_ = presenter;
        // A restart still waiting for the tracking thread also serves this change, as when the
        // host's window is dragged to a new size.
        if (restartPosted_) return;
        restartPosted_ = true;
    }
    ComPtr<Restart> restart;
    restart.Attach(new (std::nothrow) Restart(this));
    if (PostReport(restart.Get())) return;
    const std::lock_guard<std::mutex> hold(restartLock_);
    restartPosted_ = false;
    restartPresenter_.Reset();
}

void RendererDeadlockGuard::RestartHere() {
    // Held throughout, so that a detach, which comes before the session lets the presenter go,
    // waits for the restart to end.
    const std::lock_guard<std::mutex> hold(restartLock_);
    restartPosted_ = false;
    if (!restartPresenter_) return;
    // A presenter that streams after its renderer's last stop is never released.
    if (streaming_) {
        restartPresenter_->ProcessMessage(MFVP_MESSAGE_ENDSTREAMING, 0);
        restartPresenter_->ProcessMessage(MFVP_MESSAGE_BEGINSTREAMING, 0);
    }
    restartPresenter_.Reset();
}

void RendererDeadlockGuard::Detach() {
    ComPtr<IMFPresentationClock> clock;
    {
        const std::lock_guard<std::mutex> hold(clockLock_);
        clock.Swap(clock_);
        streaming_ = false;
    }
    if (clock) clock->RemoveClockStateSink(this);
    LetTrackingThreadGo();
    const std::lock_guard<std::mutex> hold(restartLock_);
    restartPresenter_.Reset();
}

STDMETHODIMP RendererDeadlockGuard::OnClockStart(MFTIME, LONGLONG) {
    ClockTurns(true);
    return S_OK;
}

STDMETHODIMP RendererDeadlockGuard::OnClockStop(MFTIME) {
    ClockTurns(false);
    return S_OK;
}

// A paused renderer's presenter still hears of frames.
STDMETHODIMP RendererDeadlockGuard::OnClockPause(MFTIME) {
    ClockTurns(true);
    return S_OK;
}

STDMETHODIMP RendererDeadlockGuard::OnClockRestart(MFTIME) {
    ClockTurns(true);
    return S_OK;
}

STDMETHODIMP RendererDeadlockGuard::OnClockSetRate(MFTIME, float) {
    ClockTurns(streaming_);
    return S_OK;
}
