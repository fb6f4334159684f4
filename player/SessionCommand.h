#pragma once
// A start, pause or stop given to the media session on a thread of its own. The session queues
// each command at once, but under a lock that its own work holds meanwhile: a session stuck in
// that work (Wine's, on some damaged movies) would hold whoever gives the command for good. The
// player keeps a late command until it has run.

#include "player/QueuedWork.h"

#include <mfidl.h>
#include <propidl.h>
#include <wrl/client.h>

class SessionCommand final : public QueuedWork {
public:
    enum class Kind { Start, Pause, Stop };

    SessionCommand(IMFMediaSession* session, Kind kind) : session_(session), kind_(kind) {
        PropVariantInit(&position_);
    }
    // A start at position (an empty one resumes where the session is); timeFormat is null or
    // points to a GUID that outlives the command, such as GUID_NULL.
    SessionCommand(IMFMediaSession* session, const PROPVARIANT& position, const GUID* timeFormat)
        : SessionCommand(session, Kind::Start) {
        PropVariantCopy(&position_, &position);
        timeFormat_ = timeFormat;
    }
    ~SessionCommand() override { PropVariantClear(&position_); }

    // Valid once the command has run.
    HRESULT status = E_PENDING;

private:
    void Run() override {
        switch (kind_) {
        case Kind::Start:
            status = session_->Start(timeFormat_, &position_);
            break;
        case Kind::Pause:
            status = session_->Pause();
            break;
        case Kind::Stop:
            status = session_->Stop();
            break;
        }
        session_.Reset();
    }

    Microsoft::WRL::ComPtr<IMFMediaSession> session_;
    Kind kind_;
    PROPVARIANT position_;
    const GUID* timeFormat_ = nullptr;
};
