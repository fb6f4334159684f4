#pragma once
// The least a program has to do to play a movie file with Media Foundation: the yardstick the
// benchmarks hold the module against. Waits pump the calling thread's messages, as a window's
// thread has to while its video renderer starts.

#include <windows.h>
#include <mfidl.h>
#include <wrl/client.h>

namespace bench {

class SessionEvents;

// When each step of Play ended, in milliseconds from its call.
struct PlaySteps {
    // The platform started, the session made and listened to, the resolver made.
    double sessionMs = 0;
    // The file resolved into a media source.
    double resolvedMs = 0;
    // The presentation descriptor and the topology made.
    double topologyMs = 0;
    // The session reported the topology ready.
    double readyMs = 0;
    // The start asked for.
    double startAskedMs = 0;
    // The session reported that it started.
    double startedMs = 0;
};

class MinimalPlayer {
public:
    static constexpr DWORD EVENT_TIMEOUT_MS = 15000;

    // With throughSharedFile, the file is resolved as the module resolves it: through a byte
    // stream over a handle that shares the file, not the resolver's own file stream.
    explicit MinimalPlayer(bool throughSharedFile = false);
    ~MinimalPlayer();
    MinimalPlayer(const MinimalPlayer&) = delete;
    MinimalPlayer& operator=(const MinimalPlayer&) = delete;

    // From nothing to playing path in videoWindow: returns once the session reports that it
    // started. With steps, when each step ended.
    HRESULT Play(const wchar_t* path, HWND videoWindow, PlaySteps* steps = nullptr);
    // Starts the session at position (100-ns units); returns once the session reports that it
    // started there.
    HRESULT Seek(LONGLONG position);
    // The presentation clock's time (100-ns units), once the session has one.
    HRESULT Position(MFTIME* time);
    // Closes the session, waits until it has closed, and shuts everything down. Safe to call
    // in any state and more than once.
    HRESULT Close();

private:
    HRESULT Resolve(IMFSourceResolver* resolver, const wchar_t* path, IUnknown** object);
    HRESULT BuildTopology(IMFPresentationDescriptor* descriptor, HWND videoWindow, IMFTopology** topology);
    HRESULT AddBranch(IMFTopology* topology, IMFPresentationDescriptor* descriptor, DWORD index, HWND videoWindow);

    const bool throughSharedFile_;
    bool platformStarted_ = false;
    Microsoft::WRL::ComPtr<IMFMediaSession> session_;
    Microsoft::WRL::ComPtr<IMFMediaSource> source_;
    Microsoft::WRL::ComPtr<IMFPresentationClock> clock_;
    Microsoft::WRL::ComPtr<SessionEvents> events_;
};

}  // namespace bench
