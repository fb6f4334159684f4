#pragma once
// The sessions played straight on Media Foundation that a part's ledger holds the module's work
// to, in a process of their own. Under Wine such a session can hang for good in the video
// renderer's deadlock (which the module guards against, see RendererDeadlockGuard), and with it the
// platform's one shared work-queue thread, after which no session of that process plays again:
// in a process of their own, such a hang ends the direct sessions and the module's work goes on.

#include "ProcessFigures.h"

#include "host/support/ChildProcess.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

// How one round's direct sessions play: one after another in one pane, or as many as the grid
// has panes at once.
struct DirectRound {
    int columns = 1;
    int rows = 1;
    int paneWidth = 640;
    int paneHeight = 480;
    DWORD playMs = 200;
    bool together = false;
};

class DirectSide {
public:
    DirectSide(const std::wstring& mediaDir, const char* part);

    // The figures of the side's process before its first session; none when it did not start.
    std::optional<Figures> Started();
    // Plays sessions (one after another; together plays the grid's instead) and returns the
    // process's figures after them. None once the side has ended: a hang, a failed session or
    // a process that went away is told once, and the side plays nothing from then on.
    std::optional<Figures> Play(const DirectRound& round, int sessions);

    // What ended the side, or empty while it plays.
    const std::string& Ended() const { return ended_; }
    int SessionsPlayed() const { return played_; }

private:
    std::optional<Figures> ReadFigures(DWORD limitMs);
    void EndWith(const std::string& why);

    const char* part_;
    std::unique_ptr<ChildConversation> child_;
    std::string ended_;
    int played_ = 0;
};

// The side's own process: plays what its standard input asks for until the input ends.
int ServeDirectSessions();
