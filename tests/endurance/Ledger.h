#pragma once
// A part runs in rounds: the module's work, and as many sessions played straight on Media
// Foundation without the module. What the platform itself keeps per session (some keep a
// handle, or decoder memory, for every session they ever played) is so measured in the same
// process and the same stretch of time, and the module is held to it: its work may add no more
// than the direct sessions did, plus the slack. The first round is warm-up; after it the two
// take turns going first, since a session costs the platform more memory the earlier it comes.

#include "ProcessFigures.h"

#include <functional>

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
    explicit Ledger(const char* part);

    // Runs one round and returns the figures at its end; directWork is told how many sessions
    // the module's work attached in the round before.
    Figures Round(const std::function<void()>& moduleWork, const std::function<void(int)>& directWork);
    // Holds the module's growth after warm-up to the direct sessions', and shows both.
    void Check() const;

private:
    void Within(const char* what, long long added, long long directAdded, long long slack) const;
    void WithinBytes(const char* what, long long added, long long directAdded, long long fixedSlack) const;

    const char* part_;
    Figures last_;
    Growth module_;
    Growth direct_;
    int rounds_ = 0;
    int lastModuleSessions_ = 0;
    int moduleSessions_ = 0;
    int directSessions_ = 0;
};
