#pragma once
// The player's defences against faults of the platform, called at fixed points of a movie's
// life. Whether a mend is Wine's alone is asked here and nowhere behind this seam: the
// constructor decides it for the player's calls, which on Windows return at once and leave the
// platform to itself. The README lists every quirk
// with its platform, its symptom and its test.

#include "quirks/RendererDeadlockGuard.h"

#include <windows.h>
#include <evr.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <mutex>

class PlatformQuirks {
public:
    PlatformQuirks();

    // Before each opening; the first of the process keeps the platform started and the module
    // loaded for good, and gives Wine's H.264 decoder one thread, before any media source exists.
    static void BeforeFirstSource();
    // The session may never report a stop it was asked for: after STOP_REPORT_WAIT_MS the stop is
    // taken as done (both platforms).
    static bool StopOverdue(ULONGLONG requestedAtMs, ULONGLONG nowMs);
    static constexpr ULONGLONG STOP_REPORT_WAIT_MS = 2000;
    // The platform's clock runs on past the end of the movie while its end report is late: a
    // position is given no later than the duration (both platforms).
    static LONGLONG WithinDuration(LONGLONG position, LONGLONG duration);
    // For the topology: a video stream of this width is asked for YUY2, since Wine's source pads
    // the rows of its NV12 frames and no frame would fit the renderer's buffer.
    static bool WantsUnpaddedRows(UINT32 width);

    // The session's topology is ready and its clock known (on the host's thread).
    void TopologyReady(IMFMediaSession* session, IMFPresentationClock* clock);

    // The destination to give the video renderer for the one the host asked, in window.
    RECT RendererDestination(HWND window, const RECT& destination) const;
    // Sets the renderer's position, and brings Wine's presenter back to life after a resize.
    void PlaceVideo(IMFVideoDisplayControl* display, MFVideoNormalizedRect source, RECT target);

    // On the refresh tick: Wine's session, on a busy machine, may never report the end of a
    // movie while its clock runs on. True when clockTime is far enough past the duration to
    // take the movie as ended.
    bool PresentationOverdue(LONGLONG clockTime, LONGLONG duration) const;
    static constexpr LONGLONG END_REPORT_WAIT = 2000 * 10000;

    // Teardown, first step on the host's thread: the renderer draws no more into the host's
    // window, which the host may destroy as soon as the viewer returns.
    void BeforeWindowLetGo(IMFVideoDisplayControl* display);
    // Teardown, after the session's close: the renderer's frame reports no longer reach the
    // topology the session's shutdown frees (both platforms).
    void SessionClosed(IMFMediaSession* session);

private:
    Microsoft::WRL::ComPtr<RendererDeadlockGuard> Guard();
    // Puts next in the guard's place (none: no guard) and detaches the one it replaces.
    void SwapGuard(Microsoft::WRL::ComPtr<RendererDeadlockGuard> next);

    const bool wine_;
    // Taken while the guard is read or changed: the callback's thread reads it too.
    std::mutex lock_;
    Microsoft::WRL::ComPtr<RendererDeadlockGuard> guard_;
};
