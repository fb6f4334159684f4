#include "player/CPlayer.h"

#include "player/ClockRead.h"
#include "player/InfoTextBuffer.h"

#include <mfapi.h>
#include <mferror.h>

#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

HRESULT CPlayer::Command(SessionCommand* command) {
    if (!command) return E_OUTOFMEMORY;
    // Commands reach the session in the order they were given: none while a late one waits.
    if (lateCommand) {
        if (!lateCommand->Done()) return MF_E_INVALIDREQUEST;
        lateCommand.Reset();
    }
    const HRESULT hr = command->RunOnOwnThread(SESSION_COMMAND_WAIT_MS, true);
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) lateCommand = command;
    if (FAILED(hr)) return hr;
    return command->status;
}

HRESULT CPlayer::StartAt(const PROPVARIANT& position, const GUID* timeFormat) {
    if (!session) return E_POINTER;
    ComPtr<SessionCommand> command;
    command.Attach(new (std::nothrow) SessionCommand(session.Get(), position, timeFormat));
    return Command(command.Get());
}

HRESULT CPlayer::Command(SessionCommand::Kind kind) {
    if (!session) return E_POINTER;
    ComPtr<SessionCommand> command;
    command.Attach(new (std::nothrow) SessionCommand(session.Get(), kind));
    return Command(command.Get());
}

HRESULT CPlayer::RequestStart() {
    PROPVARIANT position;
    PropVariantInit(&position);
    // Stored before the command: while opening, the start's report may be handled on another
    // of the platform's threads before the command's own thread has even ended.
    const PlayerState previous = State();
    const PlayerState previousResume = std::exchange(resumeState, PlayerState::Started);
    SetState(PlayerState::StartPending);
    const HRESULT hr = StartAt(position, &GUID_NULL);
    PropVariantClear(&position);
    if (FAILED(hr)) {
        resumeState = previousResume;
        SetState(previous);
    }
    return hr;
}

HRESULT CPlayer::RequestPlay() {
    if (State() == PlayerState::StartPending) {
        resumeState = PlayerState::Started;
        return S_OK;
    }
    if (!session || !source) return E_POINTER;
    if (videoDisplay) videoDisplay->SetRenderingPrefs(MFVideoRenderPrefs_DoNotRepaintOnStop);
    return RequestStart();
}

HRESULT CPlayer::RequestPause() {
    if (!session || !source) return E_POINTER;
    const HRESULT hr = Command(SessionCommand::Kind::Pause);
    if (SUCCEEDED(hr)) SetState(PlayerState::PausePending);
    return hr;
}

HRESULT CPlayer::RequestStop() {
    if (!session) return E_POINTER;
    const HRESULT hr = Command(SessionCommand::Kind::Stop);
    if (SUCCEEDED(hr)) SetState(PlayerState::StopPending);
    return hr;
}

bool CPlayer::EndOverdueStop(ULONGLONG nowMs) {
    if (State() != PlayerState::StopPending) return false;
    if (!PlatformQuirks::StopOverdue(stopRequestedAtMs.load(std::memory_order_acquire), nowMs)) return false;
    return MoveState(PlayerState::StopPending, PlayerState::Stopped);
}

bool CPlayer::EndOverduePresentation(LONGLONG clockTime) {
    if (State() != PlayerState::Started || !quirks.PresentationOverdue(clockTime, duration)) return false;
    return SUCCEEDED(RequestStop());
}

bool CPlayer::PositionIn(PlayerState state, LONGLONG* position) {
    if (state == PlayerState::Started) return ReadClock(CLOCK_READ_WAIT_MS, position);
    if (state != PlayerState::StopPending && state != PlayerState::Stopped) return false;
    *position = 0;
    return true;
}

bool CPlayer::ReadClock(DWORD waitMs, LONGLONG* time) {
    if (!clock) return false;
    if (lateClockRead) {
        if (!lateClockRead->Done()) return false;
        lateClockRead.Reset();
    }
    ComPtr<ClockRead> read;
    read.Attach(new (std::nothrow) ClockRead(clock.Get()));
    if (!read) return false;
    const HRESULT hr = read->RunOn(MFASYNC_CALLBACK_QUEUE_MULTITHREADED, waitMs);
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) lateClockRead = read;
    if (FAILED(hr) || FAILED(read->status)) return false;
    *time = read->time;
    return true;
}

HRESULT CPlayer::SetPosition(const LONGLONG& position) {
    const PlayerState current = State();
    if (current == PlayerState::StartPending || current == PlayerState::PausePending) {
        pendingSeek = position;
        return S_FALSE;
    }
    if (current != PlayerState::Started && current != PlayerState::Paused) return E_FAIL;

    PROPVARIANT start;
    PropVariantInit(&start);
    start.vt = VT_I8;
    start.hVal.QuadPart = position;
    const HRESULT hr = StartAt(start, nullptr);
    PropVariantClear(&start);
    if (FAILED(hr)) return hr;
    // This seek is newer than any deferred one, which must not be issued on top of it.
    pendingSeek = 0;
    resumeState = current;
    SetState(PlayerState::StartPending);
    return hr;
}

void CPlayer::PlaceVideo(const MFVideoNormalizedRect& source, const RECT& destination) {
    if (!videoDisplay) return;
    quirks.PlaceVideo(videoDisplay.Get(), source, quirks.RendererDestination(videoWindow, destination));
}

HRESULT CPlayer::RepaintVideo() {
    if (!videoDisplay) return E_POINTER;
    return videoDisplay->RepaintVideo();
}

bool CPlayer::BuildPropertiesReport(DWORD waitMs, const wchar_t** report) {
    if (!infoText) infoText.reset(new (std::nothrow) InfoTextBuffer);
    if (!infoText) return false;
    const HRESULT hr = BuildReportWithin(source.Get(), waitMs, *infoText);
    *report = nullptr;
    if (SUCCEEDED(hr)) *report = infoText->buffer ? infoText->buffer.get() : L"";
    return true;
}
