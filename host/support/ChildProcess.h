#pragma once
// This program run again as a child process, with what it writes read while it runs: a full
// pipe never stalls it, and a child that has to be ended still tells what it was doing.

#include <windows.h>

#include <optional>
#include <string>

struct ChildRun {
    // What failed when the child could not be started ("CreateProcessW error 2", ...); empty
    // once it was.
    std::string startFailure;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output;
};

// The child's standard output is read, and with errorsToo its standard error into the same
// text. A child still running after limitMs is ended with ERROR_TIMEOUT.
ChildRun RunThisProgramAgain(const std::wstring& arguments, DWORD limitMs, bool errorsToo);

// This program run again as a child that is talked to: lines go to its standard input, and its
// standard output comes back line by line while it runs. Ended, if still running, with this
// object.
class ChildConversation {
public:
    explicit ChildConversation(const std::wstring& arguments);
    ~ChildConversation();
    ChildConversation(const ChildConversation&) = delete;
    ChildConversation& operator=(const ChildConversation&) = delete;

    // Empty once the child has started; else what failed.
    const std::string& StartFailure() const { return startFailure_; }
    bool Send(const std::string& line);
    // The next line the child writes, without its line end, waiting at most limitMs while this
    // thread's messages are dispatched; none when the child ended first or the time ran out.
    std::optional<std::string> ReadLine(DWORD limitMs);
    // Whether the child has ended, and with what.
    std::optional<DWORD> ExitCode() const;
    void End();

private:
    std::string startFailure_;
    HANDLE process_ = nullptr;
    HANDLE input_ = nullptr;
    HANDLE output_ = nullptr;
    std::string pending_;
};
