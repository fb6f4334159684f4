#pragma once
// Message pumping for a window's thread that waits: the module's windows, and the video
// renderer's while it starts, need this thread's messages dispatched meanwhile.

#include <windows.h>

#include <functional>

// Dispatches the messages waiting for this thread.
void DispatchWaiting();
// Waits up to timeoutMs for signal (none when null) or a message, then dispatches what arrived.
void WaitPumping(HANDLE signal, DWORD timeoutMs);
// Dispatches this thread's messages until done() or the time is up; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Dispatches this thread's messages for the given time.
void PumpMessages(DWORD milliseconds);
