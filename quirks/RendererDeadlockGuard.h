#pragma once
// Under Wine the video renderer turns the presentation clock holding its own lock and then its
// presenter's, while the presenter, told on the process's frame-tracking thread that a frame
// came back to its pool, holds its own lock and then takes the renderer's. When the two meet,
// both wait for good: the clock's side is the process's one shared work-queue thread, so no
// session ends or closes any more, every later open times out, and a teardown that stops the
// presenter waits with them.
//
// The clock tells each listener on that one thread, in the order they began listening. The
// guard listens from the moment the topology is ready; the session gives its renderer the clock
// only at the first start, so the guard's turn comes just before the renderer's. In its turn the
// guard keeps the tracking thread busy with a report of its own, and lets it go from an item
// queued behind the renderer's turn, so that the two never meet, whoever turned the clock: a
// pause, a stop, the session's own stop at the end, or its close. The frames that come back
// meanwhile are reported a moment later. The presenter's restart after a resize goes through
// the same thread, behind the same holds. On Windows there is no guard.

#include "common/ComObject.h"

#include <windows.h>
#include <evr.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>

class RendererDeadlockGuard final : public ComObject<IMFClockStateSink> {
public:
    // A guard listening to clock from now on (Wine only: PlatformQuirks asks for it only there);
    // null when the clock takes no listener. Detach must follow, since the clock and the guard
    // hold each other.
    static Microsoft::WRL::ComPtr<RendererDeadlockGuard> Listen(IMFPresentationClock* clock);

    // Holds the tracking thread until LetTrackingThreadGo, and returns once it is held, or at
    // once when the renderer is not streaming.
    void HoldTrackingThread();
    void LetTrackingThreadGo();
    // Wine 10's presenter, when its output type changes while it streams (a destination of a
    // new size), stops listening to its sample allocator for frames coming back, and the picture
    // stops at the last frame; only the start of streaming makes it listen again. This ends and
    // begins the presenter's streaming on the tracking thread, where the frames that the end lets
    // go are reported after the new start, and where a hold keeps it off the clock's turns, which
    // end and begin streaming too.
    void RestartStreaming(IMFVideoPresenter* presenter);
    // Stops listening, and lets a hold of this guard and the presenter to restart go.
    void Detach();

    STDMETHODIMP OnClockStart(MFTIME, LONGLONG) override;
    STDMETHODIMP OnClockStop(MFTIME) override;
    STDMETHODIMP OnClockPause(MFTIME) override;
    STDMETHODIMP OnClockRestart(MFTIME) override;
    STDMETHODIMP OnClockSetRate(MFTIME, float) override;

private:
    class Restart;

    explicit RendererDeadlockGuard(IMFPresentationClock* clock) : clock_(clock) {}
    // The guard's turn when the clock turns; streaming tells whether the renderer streams after.
    void ClockTurns(bool streaming);
    // On the tracking thread.
    void RestartHere();

    std::mutex clockLock_;
    // Under clockLock_; none once detached.
    Microsoft::WRL::ComPtr<IMFPresentationClock> clock_;
    // Started and not stopped since: only then does the renderer's presenter hear of frames.
    std::atomic<bool> streaming_{false};
    // A hold waits for this guard's clock to report.
    bool awaited_ = false;
    std::mutex restartLock_;
    // Under restartLock_: the presenter that the restart on its way to the tracking thread, if
    // any, restarts.
    Microsoft::WRL::ComPtr<IMFVideoPresenter> restartPresenter_;
    bool restartPosted_ = false;
};
