#include "quirks/PlatformQuirks.h"

#include "common/RunsOnWine.h"
#include "player/QueuedWork.h"
#include "player/Topology.h"
#include "quirks/OneDecoderThread.h"
#include "quirks/StopDrawingIntoWindow.h"

#include <mfapi.h>

using Microsoft::WRL::ComPtr;

namespace {

// How long teardown waits for each of the platform's shared work queues to reach its turn.
constexpr DWORD QUEUED_WORK_WAIT_MS = 500;

bool CentredIn(const RECT& inner, const RECT& outer) {
    const LONG horizontal = (inner.left - outer.left) - (outer.right - inner.right);
    const LONG vertical = (inner.top - outer.top) - (outer.bottom - inner.bottom);
    // A centred rectangle's margins differ by the pixel that halving an odd difference drops.
    return horizontal >= -1 && horizontal <= 1 && vertical >= -1 && vertical <= 1;
}

bool SameSize(const RECT& a, const RECT& b) {
    return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

}  // namespace

PlatformQuirks::PlatformQuirks() : wine_(RunsOnWine()) {}

// A closed session can leave tasks on the platform's work queues (MFASYNC_CALLBACK_QUEUE_STANDARD),
// and MFShutdown under them crashed the process (Wine 8 and 10). From the first open on, the
// module keeps one MFStartup of its own, so that a player's shutdown never stops the platform
// while the host runs; for the same reason, and because teardowns go on on threads of their own
// after destroy has returned, the module stays loaded for good. Kept on Windows too. Tests:
// PlayerPlatform.EachStartIsGivenBackExactlyOnce and ModuleTest.StaysLoadedOnceItHasOpenedAFile.
void PlatformQuirks::BeforeFirstSource() {
    static const bool kept = [] {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&PlatformQuirks::BeforeFirstSource), &self);
        if (RunsOnWine()) UseOneDecoderThread();
        return SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    }();
    (void)kept;
}

// Seen with very short movies under Wine: the session stops by itself at their end and the stop
// asked for is never reported, while nothing plays any more. Test:
// PlayerTest.StopNeverReportedIsTakenAsDoneOnceOverdue.
bool PlatformQuirks::StopOverdue(ULONGLONG requestedAtMs, ULONGLONG nowMs) {
    return nowMs - requestedAtMs >= STOP_REPORT_WAIT_MS;
}

// Test: BareViewer.PositionComesFromTheClockOnlyWhilePlaying.
LONGLONG PlatformQuirks::WithinDuration(LONGLONG position, LONGLONG duration) {
    return duration > 0 && position > duration ? duration : position;
}

// Wine 10's source hands planar frames (NV12, I420) with each row padded to a multiple of 4
// bytes, while its session's sample copier sizes the renderer's buffer for unpadded rows: at a
// width that is no multiple of 4 (854, 1366) no frame fits, the picture stays black and the
// session never starts. YUY2's rows at an even width need no padding. Tests:
// AttachTest.PictureShowsTheColourBars (854x480) and
// TopologyTest.VideoTypeChoiceOnlySwitchesUncompressedToARenderableOffer.
bool PlatformQuirks::WantsUnpaddedRows(UINT32 width) { return RunsOnWine() && width % 4 != 0; }

// Wine 10: the EVR's renderer and its presenter take their two locks in opposite orders when the
// clock turns while a frame comes back; every later open then times out (RendererDeadlockGuard,
// which must listen before the renderer does; test
// PlayerTest.UnderWineAFrameComingBackAsTheClockTurnsNeverMeetsTheRendererHalfWay). With only the
// session's two frames in the renderer's IMFVideoSampleAllocator a request can be lost and the
// picture stops while the sound plays on: it gets a spare (test
// AttachTest.PictureFollowsAPaneResizedWhilePlaying).
void PlatformQuirks::TopologyReady(IMFMediaSession* session, IMFPresentationClock* clock) {
    if (!wine_) return;
    SwapGuard(RendererDeadlockGuard::Listen(clock));
    GiveVideoSampleAllocatorsASpare(session);
}

// Wine's renderer keeps only the destination's size: it fits the picture into a frame of that
// size and stretches the frame over the whole window. For a destination centred in the window
// the window's client area gives the picture the host asked for, with its bars around it.
// Test: DrawTest.OnlyACentredDestinationBecomesTheWholeWindowUnderWine.
RECT PlatformQuirks::RendererDestination(HWND window, const RECT& destination) const {
    RECT client{};
    if (!wine_ || !window || !GetClientRect(window, &client)) return destination;
    return CentredIn(destination, client) ? client : destination;
}

// Wine 10's presenter takes a destination of a new size as a new output type and, while it
// streams, no longer hears of the frames coming back to its sample allocator: the picture stops
// at the last frame, in the old shape, until its streaming is restarted. Test:
// AttachTest.PictureFollowsAPaneResizedWhilePlaying.
void PlatformQuirks::PlaceVideo(IMFVideoDisplayControl* display, MFVideoNormalizedRect source, RECT target) {
    MFVideoNormalizedRect placedSource{};
    RECT placed{};
    const bool resized = wine_ && SUCCEEDED(display->GetVideoPosition(&placedSource, &placed)) &&
                         !SameSize(placed, target);
    display->SetVideoPosition(&source, &target);
    if (!resized) return;
    ComPtr<IMFVideoPresenter> presenter;
    if (FAILED(display->QueryInterface(IID_PPV_ARGS(&presenter)))) return;
    if (const ComPtr<RendererDeadlockGuard> guard = Guard()) guard->RestartStreaming(presenter.Get());
}

// Test: PlayerTest.UnderWineAnEndNeverReportedStopsOnceTheClockIsWellPastTheDuration.
bool PlatformQuirks::PresentationOverdue(LONGLONG clockTime, LONGLONG duration) const {
    return wine_ && duration > 0 && clockTime >= duration + END_REPORT_WAIT;
}

void PlatformQuirks::BeforeWindowLetGo(IMFVideoDisplayControl* display) {
    if (!wine_ || !display) return;
    // No restart may begin the presenter's streaming again once it stopped drawing.
    SwapGuard(nullptr);
    StopDrawingIntoWindow(display);
}

// Wine 10's session frees its topology at shutdown while the EVR's sample-tracking callback can
// still report a frame coming back and use it. The renderer is told to stop reporting, and the
// reports already queued on the MFASYNC_CALLBACK_QUEUE_STANDARD work queues are let through
// first. Kept on Windows too, where it costs a turn of each queue. Test:
// PlayerTest.CloseStopsTheVideoRendererReportingFramesBeforeTheSessionShutsDown.
void PlatformQuirks::SessionClosed(IMFMediaSession* session) {
    SwapGuard(nullptr);
    DetachVideoSampleAllocators(session);
    LetQueuedWorkRun(QUEUED_WORK_WAIT_MS);
}

ComPtr<RendererDeadlockGuard> PlatformQuirks::Guard() {
    const std::lock_guard<std::mutex> hold(lock_);
    return guard_;
}

void PlatformQuirks::SwapGuard(ComPtr<RendererDeadlockGuard> next) {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        next.Swap(guard_);
    }
    if (next) next->Detach();
}
