#include "host/support/ChildProcess.h"

#include "common/Owned.h"
#include "host/support/LoadedModule.h"

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

    std::wstring commandLine = L"\"" + ThisProgram() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    if (errorsToo) startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        run.startFailure = "CreateProcessW error " + std::to_string(GetLastError());
        return run;
    }
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
