#pragma once
// Waits on a thread that owns windows. Work of other threads may send a message to one of them
// and wait for the answer; a plain wait here would then never end.

#include <windows.h>

// Waits at most waitMs for event (none: for the time alone), taking the messages other threads
// send this thread meanwhile; a posted message is never dispatched. True once event is set.
inline bool WaitLettingSentMessagesThrough(HANDLE event, DWORD waitMs) {
    const DWORD count = event ? 1 : 0;
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        const DWORD result =
            MsgWaitForMultipleObjects(count, &event, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (count && result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + count) return false;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
