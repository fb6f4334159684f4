#include "host/support/CallWatch.h"

#include <algorithm>

CallWatch::CallWatch(DWORD periodMs, std::function<void(std::vector<Call>&)> look)
    : periodMs_(periodMs), look_(std::move(look)), thread_([this] { Run(); }) {}

CallWatch::~CallWatch() {
    stop_ = true;
    thread_.join();
}

void CallWatch::Enter(const char* name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({name, GetTickCount64()});
    innermost_ = name;
}

ULONGLONG CallWatch::Leave() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const Call call = calls_.back();
    calls_.pop_back();
    innermost_ = calls_.empty() ? nullptr : calls_.back().name;
    const ULONGLONG elapsed = GetTickCount64() - call.start;
    Times& times = times_[call.name];
    ++times.count;
    times.total += elapsed;
    times.longest = std::max(times.longest, elapsed);
    return elapsed;
}

std::map<std::string, CallWatch::Times> CallWatch::AllTimes() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return times_;
}

void CallWatch::Run() {
    while (!stop_) {
        Sleep(periodMs_);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!calls_.empty()) look_(calls_);
    }
}
