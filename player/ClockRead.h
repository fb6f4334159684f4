#pragma once
// A read of the presentation clock on a work queue, so that a clock that never answers holds
// up no caller beyond its wait. The player keeps a late read until it has run.

#include "player/QueuedWork.h"

#include <mfidl.h>
#include <wrl/client.h>

class ClockRead final : public QueuedWork {
public:
    explicit ClockRead(IMFPresentationClock* clock) : clock_(clock) {}

    // Valid once the read has run.
    HRESULT status = E_PENDING;
    MFTIME time = 0;

private:
    void Run() override {
        status = clock_->GetTime(&time);
        clock_.Reset();
    }

    Microsoft::WRL::ComPtr<IMFPresentationClock> clock_;
};
