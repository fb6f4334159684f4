#pragma once
// Under Wine the video renderer turns the presentation clock holding its own lock and then its
// presenter's, while the presenter, told on the process's frame-tracking thread that a frame
// came back to its pool, holds its own lock and then takes the renderer's. When the two meet,
// both wait for good. The clock's side is the process's one shared work-queue thread: no
// session ends or closes any more, and every later open times out.
//
// The guard keeps the tracking thread busy with a report of its own from just before the
// session stops or pauses the clock until the clock has told its sinks (the renderer's turn
// comes before the guard's, which listens after it), so that the two never meet. The frames
// that come back meanwhile are reported a moment later. The presenter's restart after a resize
// goes through the same thread, behind the same holds. On Windows there is no guard.

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

    // Holds the tracking thread until the clock's next report and returns once it is held, or
    // at once when the renderer is not streaming. For the platform's shared work queue, ahead
    // of the clock's reports there.
    void HoldTrackingThread();
    // The same, put on that queue ahead of a command the session is about to be given.
    void QueueHold();
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
    // The clock has told its sinks: a hold waiting for this guard may end.
    void ClockReported(bool streaming);
    // On the tracking thread.
    void RestartHere();

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
