#include "TestSupport.h"

#include "host/support/HostWindows.h"
#include "host/support/LoadedModule.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// The threads of this process that Wine names for a video device's drawing and an audio stream's
// timer, by name; they end with the last renderer that uses them.
std::string RenderingThreads() {
    using DescribeFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    const auto describe = reinterpret_cast<DescribeFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (!describe) return {};
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    std::string found;
    THREADENTRY32 entry{sizeof(entry)};
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
        PWSTR name = nullptr;
        if (thread && SUCCEEDED(describe(thread, &name)) && name) {
            const std::wstring named(name);
            if (named == L"wined3d_cs" || named == L"audio_client_timer")
                found += std::string(named.begin(), named.end()) + " ";
            LocalFree(name);
        }
        if (thread) CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return found;
}

// A process that ends while a teardown runs on a thread of its own, or while the platform still
// lets go of a renderer after it, can stop a thread inside the heap and then hang in its own exit
// (Wine ends the other threads first, wherever they are): every program lets both end first.
// Under load an idle video device has stayed for good after short movies played back to back
// (ShortMovies.EndStoppedEveryTime); an idle one does not hold the exit, so it is named, not
// failed.
class TeardownsEndBeforeExit : public testing::Environment {
    void TearDown() override {
        EXPECT_TRUE(PumpUntil([] { return CPlayer::TeardownsUnderWay() == 0; }, 15000))
            << CPlayer::TeardownsUnderWay() << " teardowns still under way";
        if (!PumpUntil([] { return RenderingThreads().empty(); }, 5000))
            fprintf(stderr, "renderers' threads still running at exit: %s\n", RenderingThreads().c_str());
    }
};

const testing::Environment* const teardownsEndBeforeExit = testing::AddGlobalTestEnvironment(new TeardownsEndBeforeExit);

}  // namespace

std::wstring BuildDir() {
    const std::wstring program = ThisProgram();
    return program.substr(0, program.find_last_of(L"\\/"));
}

std::wstring MediaPath(const wchar_t* name) { return BuildDir() + L"\\media\\" + name; }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

std::wstring CopyOfMedia(const wchar_t* media, const std::wstring& name) {
    const std::wstring copy = MediaPath(name.c_str());
    EXPECT_TRUE(CopyFileW(MediaPath(media).c_str(), copy.c_str(), FALSE)) << Narrow(copy);
    return copy;
}

bool PlatformRunning() {
    DWORD queue = 0;
    if (FAILED(MFAllocateWorkQueue(&queue))) return false;
    MFUnlockWorkQueue(queue);
    return true;
}

namespace {

const wchar_t FRAME_CLASS[] = L"MoviepaneTestFrame";
const wchar_t PANE_CLASS[] = L"MoviepaneTestPane";

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        HWND pane = FindWindowExW(window, nullptr, PANE_CLASS, nullptr);
        if (pane) MoveWindow(pane, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

HostWindow::HostWindow(int clientWidth, int clientHeight) {
    static const bool registered =
        RegisterWindowClass(FRAME_CLASS, FrameProc) &&
        RegisterWindowClass(PANE_CLASS, PaneProc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    (void)registered;

    frame_ = CreateFrame(FRAME_CLASS, L"moviepane test", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, clientWidth,
                         clientHeight);
    pane_ = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, clientWidth,
                            clientHeight, frame_, nullptr, GetModuleHandleW(nullptr), this);
    SetWindowLongPtrW(pane_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
    PumpMessages(50);
}

HostWindow::~HostWindow() {
    SetWindowLongPtrW(pane_, GWLP_USERDATA, 0);
    DestroyWindow(frame_);
}

void HostWindow::SetViewer(ExtViewMF* viewer) { viewer_ = viewer; }

void HostWindow::Resize(int clientWidth, int clientHeight) {
    RECT bounds{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&bounds, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(frame_, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER);
}

std::vector<UINT> HostWindow::Received() const {
    std::vector<UINT> messages;
    for (const auto& entry : received_) messages.push_back(entry.first);
    return messages;
}

void HostWindow::ClearReceived() { received_.clear(); }

int HostWindow::CountReceived(UINT message, WPARAM wParam) const {
    return static_cast<int>(std::count(received_.begin(), received_.end(), std::make_pair(message, wParam)));
}

LRESULT CALLBACK HostWindow::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host) {
        host->received_.emplace_back(message, wParam);
        if (host->viewer_ && host->viewer_->HandleMessage(message, wParam, lParam) != 1) return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LitSpan FindLit(const std::vector<DWORD>& pixels, int width, POINT start, POINT step, int count) {
    LitSpan span{count, 0};
    for (int i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>((start.y + i * step.y) * width + start.x + i * step.x);
        if (at >= pixels.size()) break;
        if (!IsLit(pixels[at])) continue;
        span.first = std::min(span.first, i);
        span.end = i + 1;
    }
    return span;
}

