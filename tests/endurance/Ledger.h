#pragma once
// A part runs in rounds: the module's work, and as many sessions played straight on Media
// Foundation without the module, in a process of their own (DirectSide). What the platform
// itself keeps per session (some keep a handle, or decoder memory, for every session they ever
// played) is so measured in the same stretch of time, and the module is held to it: its work
// may add no more than the direct sessions did, plus the slack. The first round is warm-up;
// after it the two take turns going first. Direct sessions that end early (a hang of the
// platform's own) leave the module held to their growth per session.

#include "DirectSide.h"
#include "ProcessFigures.h"

#include <functional>
#include <optional>
#include <string>

// Growth sums; a figure that either side lacks stays missing (signalled by the flag).
struct Growth {
    long long handles = 0;
    long long gdiObjects = 0;
    long long userObjects = 0;
    long long windows = 0;
    long long privateBytes = 0;
    long long heapBytes = 0;
    bool gdiKnown = true;
    bool userKnown = true;
    bool privateKnown = true;

    void Add(const Figures& before, const Figures& after);
};

class Ledger {
public:
    // The direct sessions' process starts here.
    Ledger(const char* part, const std::wstring& mediaDir);

    // Runs one round and returns the module's figures at its end; the direct side plays as many
    // sessions as the module's work attached in the round before.
    Figures Round(const std::function<void()>& moduleWork, const DirectRound& direct);
    // Holds the module's growth after warm-up to the direct sessions', and shows both.
    void Check() const;

private:
    void PlayDirect(const DirectRound& direct, bool counted);
    // The direct sessions' growth, scaled to as many sessions as the module's.
    long long Scaled(long long directAdded) const;
    void Within(const char* what, long long added, long long directAdded, long long slack) const;
    void WithinBytes(const char* what, long long added, long long directAdded, long long fixedSlack) const;

    const char* part_;
    Figures last_;
    DirectSide side_;
    std::optional<Figures> sideLast_;
    Growth module_;
    Growth direct_;
    int rounds_ = 0;
    int lastModuleSessions_ = 0;
    int moduleSessions_ = 0;
    int directSessions_ = 0;
};
