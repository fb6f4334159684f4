#pragma once
// The calls into the module in progress and each entry point's times. Calls nest (a destroy
// inside a menu's loop runs inside the message call that opened the menu; the module's requests
// send messages to the pane while attach waits), so the calls in progress form a stack, which a
// thread of the watch's own looks at every few milliseconds: a call that stays away too long is
// worth telling about before anything has to give up on the process.

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CallWatch {
public:
    struct Call {
        const char* name;
        ULONGLONG start;
        // How often the look has told about this call so far.
        int warnings = 0;
    };
    struct Times {
        unsigned long long count = 0;
        ULONGLONG total = 0;
        ULONGLONG longest = 0;
    };

    // look runs every periodMs on the watch's thread with the calls in progress, outermost
    // first, while no call can enter or leave.
    CallWatch(DWORD periodMs, std::function<void(std::vector<Call>&)> look);
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    void Enter(const char* name);
    // Ends the innermost call and returns how long it took.
    ULONGLONG Leave();
    // The innermost call's name, or null; takes no lock, for a crash handler.
    const char* Innermost() const { return innermost_; }
    std::map<std::string, Times> AllTimes() const;

private:
    void Run();

    const DWORD periodMs_;
    const std::function<void(std::vector<Call>&)> look_;
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::map<std::string, Times> times_;
    std::atomic<const char*> innermost_{nullptr};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Runs call as one call of the watch; returns how long it took.
template <typename Call>
ULONGLONG Watched(CallWatch& watch, const char* name, Call&& call) {
    watch.Enter(name);
    call();
    return watch.Leave();
}
