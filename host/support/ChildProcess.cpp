#include "host/support/ChildProcess.h"

#include "common/Owned.h"
#include "host/support/LoadedModule.h"
#include "host/support/MessagePump.h"

#include <algorithm>

namespace {

using Handle = Owned<HANDLE, CloseHandle>;

constexpr DWORD POLL_MS = 50;
constexpr DWORD END_WAIT_MS = 5000;

void Drain(HANDLE pipe, std::string& text) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available) {
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, chunk.data(), available, &read, nullptr) || !read) break;
        text.append(chunk, 0, read);
    }
}

// Starts this program again with arguments and the given standard handles (null: none), which
// it inherits. The failure's text, or nothing.
std::string StartThisProgram(const std::wstring& arguments, HANDLE input, HANDLE output, HANDLE errors,
                             PROCESS_INFORMATION& process) {
    std::wstring commandLine = L"\"" + ThisProgram() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return {};
    return "CreateProcessW error " + std::to_string(GetLastError());
}

}  // namespace

ChildRun RunThisProgramAgain(const std::wstring& arguments, DWORD limitMs, bool errorsToo) {
    ChildRun run;
    const ULONGLONG started = GetTickCount64();
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        run.startFailure = "no pipe";
        return run;
    }
    const Handle output(readEnd);
    Handle childOutput(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    PROCESS_INFORMATION process{};
    run.startFailure = StartThisProgram(arguments, nullptr, writeEnd, errorsToo ? writeEnd : nullptr, process);
    if (!run.startFailure.empty()) return run;
    const Handle child(process.hProcess);
    const Handle childThread(process.hThread);
    childOutput.reset();

    for (;;) {
        Drain(output.get(), run.output);
        if (WaitForSingleObject(child.get(), POLL_MS) == WAIT_OBJECT_0) break;
        if (GetTickCount64() - started > limitMs) {
            Drain(output.get(), run.output);
            TerminateProcess(child.get(), ERROR_TIMEOUT);
            WaitForSingleObject(child.get(), END_WAIT_MS);
            run.timedOut = true;
            break;
        }
    }
    Drain(output.get(), run.output);
    GetExitCodeProcess(child.get(), &run.exitCode);
    return run;
}

ChildConversation::ChildConversation(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &input_, &inherit, 0) || !CreatePipe(&output_, &childOutput, &inherit, 0)) {
        startFailure_ = "no pipe";
        if (childInput) CloseHandle(childInput);
        return;
    }
    const Handle childEnds[] = {Handle(childInput), Handle(childOutput)};
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);

    PROCESS_INFORMATION process{};
    startFailure_ = StartThisProgram(arguments, childInput, childOutput, childOutput, process);
    if (!startFailure_.empty()) return;
    CloseHandle(process.hThread);
    process_ = process.hProcess;
}

ChildConversation::~ChildConversation() {
    if (input_) CloseHandle(input_);
    input_ = nullptr;
    // A child that reads its input to the end leaves on its own.
    if (process_ && WaitForSingleObject(process_, END_WAIT_MS) != WAIT_OBJECT_0) End();
    if (process_) CloseHandle(process_);
    if (output_) CloseHandle(output_);
}

bool ChildConversation::Send(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    return input_ && WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::optional<std::string> ChildConversation::ReadLine(DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (!process_) return std::nullopt;
        const bool ended = WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        const size_t before = pending_.size();
        Drain(output_, pending_);
        if (pending_.size() != before) continue;
        const ULONGLONG now = GetTickCount64();
        if (ended || now >= deadline) return std::nullopt;
        WaitPumping(process_, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, POLL_MS)));
    }
}

std::optional<DWORD> ChildConversation::ExitCode() const {
    DWORD code = 0;
    if (!process_ || !GetExitCodeProcess(process_, &code) || code == STILL_ACTIVE) return std::nullopt;
    return code;
}

void ChildConversation::End() {
    if (!process_ || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) return;
    TerminateProcess(process_, ERROR_TIMEOUT);
    WaitForSingleObject(process_, END_WAIT_MS);
}
