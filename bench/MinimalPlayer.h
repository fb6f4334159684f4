#pragma once
// The least a program has to do to play a movie file with Media Foundation: the yardstick the
// benchmarks hold the module against. Waits pump the calling thread's messages, as a window's
// thread has to while its video renderer starts.

#include <windows.h>
#include <mfidl.h>
#include <wrl/client.h>

namespace bench {

class SessionEvents;

class MinimalPlayer {
public:
    static constexpr DWORD EVENT_TIMEOUT_MS = 15000;

    MinimalPlayer();
    ~MinimalPlayer();
    MinimalPlayer(const MinimalPlayer&) = delete;
    MinimalPlayer& operator=(const MinimalPlayer&) = delete;

    // From nothing to playing path in videoWindow: returns once the session reports that it
    // started.
    HRESULT Play(const wchar_t* path, HWND videoWindow);
    // Starts the session at position (100-ns units); returns once the session reports that it
    // started there.
    HRESULT Seek(LONGLONG position);
    // The presentation clock's time (100-ns units), once the session has one.
    HRESULT Position(MFTIME* time);
    // Closes the session, waits until it has closed, and shuts everything down. Safe to call
    // in any state and more than once.
    HRESULT Close();

private:
    HRESULT BuildTopology(IMFPresentationDescriptor* descriptor, HWND videoWindow, IMFTopology** topology);
    HRESULT AddBranch(IMFTopology* topology, IMFPresentationDescriptor* descriptor, DWORD index, HWND videoWindow);

    bool platformStarted_ = false;
    Microsoft::WRL::ComPtr<IMFMediaSession> session_;
    Microsoft::WRL::ComPtr<IMFMediaSource> source_;
    Microsoft::WRL::ComPtr<IMFPresentationClock> clock_;
    Microsoft::WRL::ComPtr<SessionEvents> events_;
};

}  // namespace bench
