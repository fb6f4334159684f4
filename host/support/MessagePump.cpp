#include "host/support/MessagePump.h"

#include <algorithm>

void DispatchWaiting() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void WaitPumping(HANDLE signal, DWORD timeoutMs) {
    MsgWaitForMultipleObjects(signal ? 1 : 0, signal ? &signal : nullptr, FALSE, timeoutMs, QS_ALLINPUT);
    DispatchWaiting();
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return done();
        WaitPumping(nullptr, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)));
    }
    return true;
}

void PumpMessages(DWORD milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}
