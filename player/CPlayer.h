#pragma once
// The playback engine behind one opened file: a media session, the file's media source and,
// once the topology is ready, the video display control and the presentation clock.
//
// Three threads run the player:
// - The host's thread: every call of the viewer, hence opening, attaching with its wait, the
//   requests and queries, HandleEvent for each WM_PLAYER_EVENT, and the start of closing (the
//   clock and the display control let go, the state Closing); the whole teardown when it could
//   have no thread of its own.
// - The platform's callback thread: Invoke, once per session event. It re-arms the event loop,
//   signals closeEvent on the close report, and posts each other event to eventWindow. While
//   eventWindow is null the host's thread is in attach's wait, or just leaving it, and Invoke
//   handles the event itself: OnTopologyStatus then writes videoDisplay, the video size, clock,
//   resumeState and state there.
// - The teardown thread (PlayerTeardown): the session's close and the wait on closeEvent, the
//   source's and the session's shutdown and release, the platform's stop and the state Closed.
//   It holds a reference, so the player's last release, and its destructor, may happen there.
// Work run elsewhere for a bounded wait (ClockRead, the properties report) holds references of
// its own and touches no field.
//
// What guards what:
// - sessionLock: the session pointer, which Invoke reads, the host's thread sets on opening and
//   the teardown lets go, the source with it.
// - forwardLock: the callback's check for Closing together with its post, against the
//   teardown's move to Closing, so that Close's drain finds every event posted.
// - The quirks' own lock: the renderer deadlock guard, reached from all three threads.
// - Atomics: refCount; state, written on all three threads, each write also setting
//   stateChanged, on which attach's wait wakes; a state change is a release that makes what the
//   callback wrote before it visible to the host's thread, which reads the state with acquire;
//   eventWindow, set once by attach and read by Invoke; teardownHanded and stopRequestedAtMs.
// - Nothing else is shared: pendingSeek, resumeState, duration, videoWindow, infoText, the late
//   clock read and the late command belong to the host's thread, apart from what the callback
//   writes during attach's wait.

#include "common/Owned.h"
#include "moviefile/MovieFacts.h"
#include "player/PlayerState.h"
#include "player/SessionCommand.h"
#include "quirks/PlatformQuirks.h"

#include <windows.h>
#include <mfidl.h>
#include <mfobjects.h>
#include <evr.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <mutex>

class ClockRead;
struct InfoTextBuffer;

// Carries a session event (wParam, one reference) from the callback thread to the host window.
constexpr UINT WM_PLAYER_EVENT = WM_APP + 1;

class CPlayer : public IMFAsyncCallback {
public:
    CPlayer();

    // Opening's first part: a new player with the platform started for it, the module's own
    // start and pin taken on the first open, and its events made. A player that fails here is
    // given up.
    static HRESULT Create(CPlayer** player);
    // Then a new session with its event loop armed: the player is Ready.
    HRESULT OpenSession();
    // Then the file's media source, as resolving the file gave it.
    HRESULT TakeSource(IUnknown* resolved);
    bool HasSource() const { return source != nullptr; }

    // Binds the player to the host's window: the video is drawn there, the file's own facts shape
    // the topology, the first presentation is begun and the host's thread waits at most waitMs
    // while the player is opening. From then on the session's events are posted to window. Fails
    // when no presentation could be begun or the session did not report within the wait.
    HRESULT Attach(HWND window, const VideoTrackFacts& facts, DWORD waitMs);

    // Shutdown, then the events still queued for the window they were posted to are dropped:
    // they would otherwise reach the window's next player, or nobody, and keep their references.
    void Close();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetParameters(DWORD* flags, DWORD* queue) override;
    STDMETHODIMP Invoke(IMFAsyncResult* result) override;

    virtual ~CPlayer();

    virtual HRESULT OnTopologyStatus(IMFMediaEvent* event);
    virtual HRESULT OnPresentationEnded(IMFMediaEvent* event);
    virtual HRESULT OnNewPresentation(IMFMediaEvent* event);
    virtual HRESULT OnOtherEvent(IMFMediaEvent* event, MediaEventType type);

    // Takes over the one reference the caller holds on event.
    HRESULT HandleEvent(IMFMediaEvent* event);
    HRESULT SetPosition(const LONGLONG& position);
    // Both run the teardown on a thread of its own and wait for it at most TEARDOWN_WAIT_MS: the
    // session's close and the wait for its report, the source's and the session's shutdown, and,
    // for Shutdown, the platform's stop. It ends in Closed; meanwhile the player is Closing.
    HRESULT CloseSession();
    void Shutdown();
    static constexpr DWORD TEARDOWN_WAIT_MS = 75;
    // Teardowns of this process still going on after their wait.
    static LONG TeardownsUnderWay();

    // MFStartup for this player; Shutdown balances it exactly once.
    HRESULT StartPlatform();
    HRESULT CreateEvents();

    // The requests shared by the panel, the context menu and the event handling.
    HRESULT RequestStart();
    // A start that is pending already, a seek's too, is made to end in playing; otherwise the
    // session starts from where it stands.
    HRESULT RequestPlay();
    HRESULT RequestPause();
    HRESULT RequestStop();
    // Gives the video renderer the part of the frame to show and where, in the video window.
    void PlaceVideo(const MFVideoNormalizedRect& source, const RECT& destination);
    // E_POINTER without a video display.
    HRESULT RepaintVideo();
    // The properties report, built anew within waitMs into a buffer the player keeps for later
    // reports. False when no buffer could be had; otherwise *report is the text, or null when it
    // could not be read in time.
    bool BuildPropertiesReport(DWORD waitMs, const wchar_t** report);
    // A stop the session has not reported in time is taken as done (PlatformQuirks::StopOverdue):
    // true when this call made the player Stopped.
    bool EndOverdueStop(ULONGLONG nowMs);
    // A movie whose clock has run so far past its duration while playing that the platform's
    // end report is taken as lost is stopped as at its end: true when this call asked for the stop.
    bool EndOverduePresentation(LONGLONG clockTime);

    // The position in state: the clock's while playing, the start once stopped or stopping. False
    // in other states and when the clock gives no time.
    bool PositionIn(PlayerState state, LONGLONG* position);

    PlayerState State() const { return state.load(std::memory_order_acquire); }
    void SetState(PlayerState next);

    LONGLONG Duration() const { return duration; }
    bool HasVideoDisplay() const { return videoDisplay != nullptr; }
    UINT32 VideoWidth() const { return videoWidth; }
    UINT32 VideoHeight() const { return videoHeight; }
    HWND VideoWindow() const { return videoWindow; }
    HWND EventWindow() const { return eventWindow.load(std::memory_order_acquire); }
    PlayerState ResumeState() const { return resumeState; }
    LONGLONG PendingSeek() const { return pendingSeek; }
    HANDLE CloseEvent() const { return closeEvent.get(); }
    const InfoTextBuffer* InfoText() const { return infoText.get(); }
    Microsoft::WRL::ComPtr<IMFMediaSession> Session() const;
    Microsoft::WRL::ComPtr<IMFMediaSource> Source() const { return source; }
    Microsoft::WRL::ComPtr<IMFVideoDisplayControl> VideoDisplay() const { return videoDisplay; }

    // For tests' doubles, in place of what opening gives (a session, whose event loop the caller
    // arms, and a source), of what attaching and a ready topology give (the window the video is
    // drawn in and events are posted to, the display control with its native size, the clock and
    // the duration), and of the state a start's report resumes, which no double can bring about.
    void Adopt(IMFMediaSession* adopted, IMFMediaSource* adoptedSource);
    void AdoptPresentation(HWND window, IMFVideoDisplayControl* display, IMFPresentationClock* adoptedClock,
                           LONGLONG adoptedDuration);
    void AdoptResumeState(PlayerState resume) { resumeState = resume; }

private:
    class PlayerTeardown;

    // Builds the topology of the source's presentation for videoWindow and hands it to the
    // session; the player is OpenPending until the session reports on it. The first also reads
    // the presentation's duration.
    HRESULT BeginFirstPresentation();
    HRESULT BeginPresentation(IMFPresentationDescriptor* descriptor);
    // Sleeps until the session has reported on the topology, at most waitMs. A session that
    // never reports is given up: the player is left closing, so no late event can act on it.
    // False when it was given up.
    bool WaitWhileOpening(DWORD waitMs);
    // The display control's native size, when it reports one.
    void ReadVideoSize();
    // OpenPending becomes Closing: events are no longer forwarded. False when no longer opening.
    bool FailOpening();
    // Compare and set: false when the state was not from.
    bool MoveState(PlayerState from, PlayerState to);
    HRESULT StartAt(const PROPVARIANT& position, const GUID* timeFormat);
    HRESULT Command(SessionCommand::Kind kind);
    // Gives the command and waits for the session to take it, at most SESSION_COMMAND_WAIT_MS.
    HRESULT Command(SessionCommand* command);
    static constexpr DWORD SESSION_COMMAND_WAIT_MS = 1000;
    HRESULT BeginTeardown(bool stopPlatform, bool handOver);
    HRESULT TearDownHere(bool stopPlatform);
    // The teardown's two steps: the session's close and the wait for its report (the session's
    // answer to Close, or S_OK without a session); then the source's and the session's shutdown,
    // unless the close failed, their release and the platform's stop.
    HRESULT CloseAndWait();
    void ShutDownSessionAndSource(bool closed, bool stopPlatform);

    // The presentation clock's time, read on one of the platform's work queues and waited for at
    // most waitMs, so that a clock the platform holds up never holds the host's thread. While an
    // earlier read has not come back no new one is made. False when the clock failed, did not
    // answer in time, or there is none.
    bool ReadClock(DWORD waitMs, LONGLONG* time);
    static constexpr DWORD CLOCK_READ_WAIT_MS = 1000;

    std::atomic<LONG> refCount{1};
    Microsoft::WRL::ComPtr<IMFMediaSession> session;
    Microsoft::WRL::ComPtr<IMFMediaSource> source;
    Microsoft::WRL::ComPtr<IMFVideoDisplayControl> videoDisplay;
    Microsoft::WRL::ComPtr<IMFPresentationClock> clock;
    HWND videoWindow = nullptr;
    std::atomic<HWND> eventWindow{nullptr};
    std::atomic<PlayerState> state{PlayerState::Closed};
    OwnedEvent closeEvent;
    LONGLONG pendingSeek = 0;
    PlayerState resumeState = PlayerState::Closed;
    UINT32 videoWidth = 0;
    UINT32 videoHeight = 0;
    LONGLONG duration = 0;
    std::unique_ptr<InfoTextBuffer> infoText;
    // What the file's own structure says of its video track, for the topologies of its
    // presentations.
    VideoTrackFacts fileVideo;

    bool platformStarted = false;
    std::atomic<bool> teardownHanded{false};
    // Taken while the callback reads session and while the teardown lets it go.
    mutable std::mutex sessionLock;
    // Taken while the callback decides to post an event and posts it, and for the teardown's
    // move to Closing, after which the window's queue is drained.
    std::mutex forwardLock;
    PlatformQuirks quirks;
    std::atomic<ULONGLONG> stopRequestedAtMs{0};
    // A clock read and a session command that had not come back when their waits ended.
    Microsoft::WRL::ComPtr<ClockRead> lateClockRead;
    Microsoft::WRL::ComPtr<SessionCommand> lateCommand;
    // Set whenever the state is written: the wait while opening wakes on it.
    OwnedEvent stateChanged;
};
