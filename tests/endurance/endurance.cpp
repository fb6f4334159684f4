// endurance: drives moviepane.dll as a host does, for a long run and with many viewers at
// once, tears viewers down (and re-opens them) in every state in which they wait on the
// session or on the user, and checks that the process gives back what it took.
//
//   endurance.exe MEDIA_DIR [--cycles N] [--part cycles|silent|many|pending]
//
// Exit codes: 0 every check held, 1 a check failed, 2 bad command line or no usable module,
// 3 an entry point hung: still away after a minute, the process is ended where it hangs.

#include "bench/MinimalPlayer.h"
#include "common/ComApartment.h"
#include "common/Owned.h"
#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int EXIT_CHECK_FAILED = 1;
constexpr int EXIT_SETUP_FAILED = 2;
constexpr int EXIT_HANG = 3;

// Every entry point must come back within this time. One that is still away at the hang limit
// is taken for a hang, and the process is ended on the spot instead of waiting for a test
// runner's much later timeout; until then, how late it comes back is worth knowing.
constexpr ULONGLONG CALL_LIMIT_MS = 10000;
constexpr ULONGLONG HANG_LIMIT_MS = 60000;
// The module waits at most 5 s for a session to close; a destroy that takes that long met a
// session that never confirmed its close, which is a fault even though destroy came back.
constexpr ULONGLONG PROMPT_DESTROY_MS = 5000;
// Long enough for a file to open, its topology to resolve and the session to report Started.
constexpr DWORD PLAYING_WAIT_MS = 10000;
// Threads and handles of a closed session go away a little after destroy returns.
constexpr DWORD SETTLE_MS = 1000;
// How long a menu or box may stay open after its viewer has been torn down.
constexpr ULONGLONG CLOSE_AFTER_TEARDOWN_MS = 3000;

// How much more the module's work may add than the direct sessions of the same part (see
// Ledger), after a warm-up that puts one-time costs behind: the platform's first start, the
// codec plug-ins of the first open, the panel's window classes and font. Measured first (Wine
// 10): handles and GDI objects then follow the direct sessions exactly (its audio renderer
// keeps one handle per session, with the module or without it), so the slack only absorbs a
// worker thread of the platform that is still ending. Live heap bytes grow alike too, by about
// 11 KiB per session of the platform's own, and wander by a fraction of a MiB between
// measurements: 1 MiB, plus half of what the direct sessions added, catches a viewer that
// keeps even a small part of itself every cycle over a long run. Private bytes are judged only
// where the platform reports them: Wine gives the resident anonymous memory of the whole
// process instead, in which its native decoders keep tens of MiB per session at first and
// scatter by tens of MiB between rounds; there it is shown, not judged. Where judged, 8 MiB
// plus half of the direct sessions' growth allows for heaps and decoder caches settling.
constexpr long HANDLE_SLACK = 10;
constexpr long GUI_OBJECT_SLACK = 5;
constexpr long long PRIVATE_BYTES_SLACK = 8ll << 20;
constexpr long long HEAP_BYTES_SLACK = 1ll << 20;

constexpr int CYCLE_BLOCK = 10;
constexpr std::pair<DWORD, DWORD> SILENT_PLAY_MS{30, 300};
constexpr int MANY_COLUMNS = 4;
constexpr int MANY_ROWS = 2;
constexpr int MANY_ROUNDS = 3;
constexpr DWORD MANY_EXTRA_PLAY_MS = 3000;
constexpr int PENDING_ROUNDS = 3;
constexpr std::uint32_t SHUFFLE_SEED = 20260;

constexpr UINT_PTR SCRIPT_TIMER_ID = 1;
constexpr UINT SCRIPT_PERIOD_MS = 50;
constexpr UINT WM_PROBE = WM_APP + 100;

constexpr wchar_t FRAME_CLASS[] = L"MoviepaneEnduranceFrame";
constexpr wchar_t PANE_CLASS[] = L"MoviepaneEndurancePane";
constexpr wchar_t MENU_CLASS[] = L"#32768";
constexpr wchar_t DIALOG_CLASS[] = L"#32770";

using Library = Owned<HMODULE, FreeLibrary>;

// ---------------------------------------------------------------- reporting

int failures = 0;

void Say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Check(bool held, const char* format, ...) {
    if (held) return;
    ++failures;
    std::fputs("FAIL: ", stdout);
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char* StateName(PlayerState state) {
    static const char* const names[] = {"Closed",       "Ready",  "OpenPending", "StartPending", "Started",
                                        "PausePending", "Paused", "StopPending", "Stopped",      "Closing"};
    const auto index = static_cast<size_t>(state);
    return index < sizeof(names) / sizeof(names[0]) ? names[index] : "?";
}

// ---------------------------------------------------------------- timing of entry points

// Watches the entry points in progress (nested ones included: a destroy inside a menu's loop
// runs inside the message call that opened the menu) and keeps each one's times.
class Watchdog {
public:
    std::atomic<int> errorBoxes{0};

    Watchdog() : thread_([this] { Run(); }) {}
    ~Watchdog() {
        stop_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Enter(const char* name) {
        const std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back({name, GetTickCount64()});
    }

    ULONGLONG Leave() {
        const std::lock_guard<std::mutex> lock(mutex_);
        const Call call = calls_.back();
        calls_.pop_back();
        if (calls_.empty()) warned_ = false;
        const ULONGLONG elapsed = GetTickCount64() - call.start;
        Times& times = times_[call.name];
        ++times.count;
        times.total += elapsed;
        times.longest = std::max(times.longest, elapsed);
        return elapsed;
    }

    void Report() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [name, times] : times_) {
            Say("  %-12s %7llu calls, mean %6.1f ms, longest %5llu ms", name.c_str(), times.count,
                static_cast<double>(times.total) / static_cast<double>(times.count), times.longest);
        }
    }

private:
    struct Call {
        const char* name;
        ULONGLONG start;
    };
    struct Times {
        unsigned long long count = 0;
        ULONGLONG total = 0;
        ULONGLONG longest = 0;
    };

    // Open reports a failure in a box and waits for the user: the host's user reads and closes
    // it, and the failure is counted.
    void DismissErrorBoxes() {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, DIALOG_CLASS, L"ExtViewMF")) != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(box, &process);
            if (process != GetCurrentProcessId() || !IsWindowVisible(box)) continue;
            if (std::find(dismissed_.begin(), dismissed_.end(), box) != dismissed_.end()) continue;
            dismissed_.push_back(box);
            wchar_t text[512] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            std::printf("FAIL: error box: %ls\n", text);
            std::fflush(stdout);
            ++errorBoxes;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }

    void Run() {
        while (!stop_) {
            Sleep(200);
            DismissErrorBoxes();
            const std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty()) continue;
            const ULONGLONG away = GetTickCount64() - calls_.front().start;
            if (away > CALL_LIMIT_MS && !warned_) {
                std::printf("LATE: %s has not returned after %llu ms\n", calls_.front().name, CALL_LIMIT_MS);
                std::fflush(stdout);
                warned_ = true;
            }
            if (away <= HANG_LIMIT_MS) continue;
            std::printf("HANG: %s has not returned after %llu ms\n", calls_.front().name, HANG_LIMIT_MS);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), EXIT_HANG);
        }
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::map<std::string, Times> times_;
    bool warned_ = false;
    std::vector<HWND> dismissed_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

Watchdog* watchdog = nullptr;
const ExtViewModuleInfo* module = nullptr;

template <typename Call>
ULONGLONG Watched(const char* name, Call call) {
    watchdog->Enter(name);
    call();
    return watchdog->Leave();
}

// An entry point of the module: watched, and held to the time limit.
template <typename Call>
ULONGLONG Timed(const char* name, Call call) {
    const ULONGLONG elapsed = Watched(name, call);
    Check(elapsed <= CALL_LIMIT_MS, "%s took %llu ms", name, elapsed);
    return elapsed;
}

// ---------------------------------------------------------------- messages and windows

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                  QS_ALLINPUT);
    }
}

void Pump(DWORD milliseconds) { PumpUntil([] { return false; }, milliseconds); }

struct WindowSearch {
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    wchar_t text[64] = {};
    GetClassNameW(window, text, 64);
    if (std::wcscmp(text, search->className) != 0 || !IsWindowVisible(window)) return TRUE;
    GetWindowTextW(window, text, 64);
    if (search->caption && std::wcscmp(text, search->caption) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of this thread with the given class (and caption, when given).
HWND ThreadWindow(const wchar_t* className, const wchar_t* caption = nullptr) {
    WindowSearch search{className, caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK CountChild(HWND, LPARAM data) {
    ++*reinterpret_cast<long*>(data);
    return TRUE;
}

BOOL CALLBACK CountWithChildren(HWND window, LPARAM data) {
    ++*reinterpret_cast<long*>(data);
    EnumChildWindows(window, CountChild, data);
    return TRUE;
}

// Windows of this thread, child windows included: the panel's controls, menus and boxes that
// a teardown left behind show here even where the platform counts no USER objects.
long CountThreadWindows() {
    long count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWithChildren, reinterpret_cast<LPARAM>(&count));
    return count;
}

class Viewer;

// Sessions that the module's attach started, to be matched by as many direct sessions.
int sessionsAttached = 0;

struct Pane {
    HWND window = nullptr;
    Viewer* viewer = nullptr;
};

// The host's frame: a grid of panes, each forwarding its messages to the viewer shown in it,
// and a timer of the host's own that runs a script step on each tick (also inside the modal
// loops of the module's menu and boxes, which dispatch the host's messages).
class Host {
public:
    Host(int columns, int rows, int paneWidth, int paneHeight);
    ~Host() { DestroyWindow(frame_); }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    Pane& pane(size_t index) { return *panes_[index]; }
    size_t paneCount() const { return panes_.size(); }

    // Runs step on every tick until it returns true.
    void Every(std::function<bool()> step) {
        step_ = std::move(step);
        SetTimer(frame_, SCRIPT_TIMER_ID, SCRIPT_PERIOD_MS, nullptr);
    }
    void StopScript() {
        KillTimer(frame_, SCRIPT_TIMER_ID);
        step_ = nullptr;
    }
    bool ScriptRunning() const { return static_cast<bool>(step_); }
    HWND frame() const { return frame_; }

    // Runs whenever another thread sends WM_PROBE to the frame.
    std::function<void()> onProbe;

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnScriptTick();

    HWND frame_ = nullptr;
    std::vector<std::unique_ptr<Pane>> panes_;
    std::function<bool()> step_;
    bool inStep_ = false;
};

class Viewer {
public:
    explicit Viewer(Pane& pane) : pane_(pane) {
        Timed("create", [&] { handle_ = module->create(nullptr); });
        Check(handle_ != nullptr, "create returned no viewer");
        pane_.viewer = this;
    }
    ~Viewer() { Destroy(); }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    bool Open(const std::wstring& path) {
        INT_PTR result = -1;
        Timed("open", [&] {
            result = module->open(handle_, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        });
        return result == 0;
    }

    bool Attach() {
        int32_t result = -1;
        Timed("attach", [&] { result = module->attach(handle_, pane_.window); });
        if (result == 0) ++sessionsAttached;
        return result == 0;
    }

    // As a host does, the pane stops forwarding before the viewer goes.
    ULONGLONG Destroy() {
        if (!handle_) return 0;
        pane_.viewer = nullptr;
        const ExtViewHandle handle = handle_;
        handle_ = nullptr;
        return Timed("destroy", [&] { module->destroy(handle); });
    }

    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) {
        int32_t result = 1;
        Timed("message", [&] { result = module->message(handle_, message, wParam, lParam); });
        return result;
    }

    void Draw(HDC dc, const RECT& source, const RECT& destination) {
        Timed("draw", [&] { module->draw(handle_, dc, &source, &destination, nullptr); });
    }

    // The host's own question: a viewer that reports a position is playing (or has stopped).
    bool ReportsPosition() {
        int32_t position = 0;
        return Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0;
    }

    // Read through the viewer's own header, only to confirm that a teardown happened in the
    // state it was aimed at; the host never needs it.
    PlayerState State() const {
        const auto* viewer = static_cast<const ExtViewMF*>(handle_);
        return viewer && viewer->player ? viewer->player->State() : PlayerState::Closed;
    }

    void Click(int buttonId) {
        const HWND button = GetDlgItem(pane_.window, buttonId);
        SendMessageW(pane_.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }

    Pane& pane() { return pane_; }

private:
    Pane& pane_;
    ExtViewHandle handle_ = nullptr;
};

Host::Host(int columns, int rows, int paneWidth, int paneHeight) {
    static const bool registered = [] {
        WNDCLASSW frame{};
        frame.lpfnWndProc = FrameProc;
        frame.hInstance = GetModuleHandleW(nullptr);
        frame.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        frame.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        frame.lpszClassName = FRAME_CLASS;
        WNDCLASSW pane = frame;
        pane.lpfnWndProc = PaneProc;
        pane.lpszClassName = PANE_CLASS;
        return RegisterClassW(&frame) && RegisterClassW(&pane);
    }();
    Check(registered, "window classes not registered");

    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT bounds{0, 0, columns * paneWidth, rows * paneHeight};
    AdjustWindowRect(&bounds, style, FALSE);
    frame_ = CreateWindowExW(0, FRAME_CLASS, L"moviepane endurance", style, 0, 0, bounds.right - bounds.left,
                             bounds.bottom - bounds.top, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    Check(frame_ != nullptr, "host frame not created");
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            auto pane = std::make_unique<Pane>();
            pane->window = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                           column * paneWidth, row * paneHeight, paneWidth, paneHeight, frame_,
                                           nullptr, GetModuleHandleW(nullptr), pane.get());
            Check(pane->window != nullptr, "host pane not created");
            panes_.push_back(std::move(pane));
        }
    }
    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
}

template <typename Owner>
Owner* OwnerOf(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK Host::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Host* host = OwnerOf<Host>(window, message, lParam);
    if (host && message == WM_TIMER && wParam == SCRIPT_TIMER_ID) {
        host->OnScriptTick();
        return 0;
    }
    if (host && message == WM_PROBE) {
        if (host->onProbe) host->onProbe();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A step may pump (an open's platform calls can), so a tick that arrives meanwhile is skipped.
void Host::OnScriptTick() {
    if (inStep_ || !step_) return;
    inStep_ = true;
    const bool done = step_();
    inStep_ = false;
    if (done) StopScript();
}

LRESULT CALLBACK Host::PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Pane* pane = OwnerOf<Pane>(window, message, lParam);
    // The viewer may be destroyed while it handles this message (from a modal loop inside it):
    // nothing of it is used after the call.
    Viewer* viewer = pane ? pane->viewer : nullptr;
    const int32_t result = viewer ? viewer->Message(message, wParam, lParam) : 1;
    if (message == WM_PAINT && pane) {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(window, &paint);
        int32_t size[2] = {0, 0};
        if (pane->viewer) pane->viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
        RECT client{};
        GetClientRect(window, &client);
        if (pane->viewer && size[0] > 0 && size[1] > 0) pane->viewer->Draw(dc, RECT{0, 0, size[0], size[1]}, client);
        EndPaint(window, &paint);
        return 0;
    }
    return result == 1 ? DefWindowProcW(window, message, wParam, lParam) : 0;
}

// ---------------------------------------------------------------- resource figures

// A figure the platform does not keep is -1 and is left out of the checks.
struct Figures {
    long handles = -1;
    long gdiObjects = -1;
    long userObjects = -1;
    long windows = -1;
    long long privateBytes = -1;
    long long heapBytes = -1;
    // Whether the platform reported private bytes, rather than only its older page-file figure.
    bool privateReported = false;
};

// The platform's list of every open handle, for platforms whose handle count answers 0.
struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
constexpr ULONG SYSTEM_EXTENDED_HANDLE_INFORMATION = 64;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);
using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

long CountHandlesInSystemList() {
    const auto query = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<ULONG_PTR> buffer(1 << 16);
    LONG status = 0;
    ULONG needed = 0;
    const auto bytes = [&] { return static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)); };
    while ((status = query(SYSTEM_EXTENDED_HANDLE_INFORMATION, buffer.data(), bytes(), &needed)) ==
           STATUS_INFO_LENGTH_MISMATCH) {
        buffer.resize(buffer.size() * 2);
    }
    if (status < 0) return -1;
    const ULONG_PTR count = buffer[0];
    const auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + 2);
    const ULONG_PTR self = GetCurrentProcessId();
    return static_cast<long>(std::count_if(entries, entries + count, [&](const HandleEntry& e) { return e.processId == self; }));
}

// Where GetGuiResources is not implemented, the process's GDI handle table that its process
// environment block points to, in the layout of the platforms that provide it there.
struct GdiTableEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t userPointer;
};

using QueryProcessInformationFn = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);

long CountGdiTableEntries() {
#if defined(_WIN64)
    constexpr size_t GDI_TABLE_ENTRIES = 0x10000;
    const auto query = reinterpret_cast<QueryProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) < 0) return -1;
    const auto* environment = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    const auto* table = *reinterpret_cast<const GdiTableEntry* const*>(environment + 0xF8);
    if (!table) return -1;
    return static_cast<long>(std::count_if(table, table + GDI_TABLE_ENTRIES, [](const GdiTableEntry& e) { return e.type != 0; }));
#else
    return -1;
#endif
}

long GuiObjects(DWORD kind) {
    SetLastError(ERROR_SUCCESS);
    const DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    if (count != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return static_cast<long>(count);
    return kind == GR_GDIOBJECTS ? CountGdiTableEntries() : -1;
}

// The bytes of all live blocks on the process's heaps: what the module, the runtime and the
// platform's own code hold right now, without the freed pages a heap keeps, nor a decoder's
// memory outside these heaps.
long long LiveHeapBytes() {
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
    const DWORD count = std::min<DWORD>(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()),
                                        static_cast<DWORD>(heaps.size()));
    long long total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

Figures Measure() {
    Pump(SETTLE_MS);
    Figures figures;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    figures.handles = handles ? static_cast<long>(handles) : CountHandlesInSystemList();
    figures.gdiObjects = GuiObjects(GR_GDIOBJECTS);
    figures.userObjects = GuiObjects(GR_USEROBJECTS);
    figures.windows = CountThreadWindows();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    // The two are documented as one figure; some platforms fill only the older field (Wine: with
    // the resident anonymous memory of the whole process, native decoder heaps included).
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        figures.privateReported = memory.PrivateUsage != 0;
        figures.privateBytes = static_cast<long long>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
    }
    figures.heapBytes = LiveHeapBytes();
    return figures;
}

std::string Figure(long long value) { return value < 0 ? "n/a" : std::to_string(value); }

void PrintFigures(const char* label, const Figures& f) {
    Say("  %-22s handles %5s  GDI %4s  USER %4s  windows %3s  private %8.2f MiB  heap %7.2f MiB", label,
        Figure(f.handles).c_str(), Figure(f.gdiObjects).c_str(), Figure(f.userObjects).c_str(),
        Figure(f.windows).c_str(), static_cast<double>(f.privateBytes) / (1 << 20),
        static_cast<double>(f.heapBytes) / (1 << 20));
}

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

    void Add(const Figures& before, const Figures& after) {
        handles += after.handles - before.handles;
        gdiKnown = gdiKnown && before.gdiObjects >= 0 && after.gdiObjects >= 0;
        userKnown = userKnown && before.userObjects >= 0 && after.userObjects >= 0;
        privateKnown = privateKnown && before.privateReported && after.privateReported;
        gdiObjects += after.gdiObjects - before.gdiObjects;
        userObjects += after.userObjects - before.userObjects;
        windows += after.windows - before.windows;
        privateBytes += after.privateBytes - before.privateBytes;
        heapBytes += after.heapBytes - before.heapBytes;
    }
};

// A part runs in rounds: the module's work, and as many sessions played straight on Media
// Foundation without the module. What the platform itself keeps per session (some keep a
// handle, or decoder memory, for every session they ever played) is so measured in the same
// process and the same stretch of time, and the module is held to it: its work may add no more
// than the direct sessions did, plus the slack. The first round is warm-up; after it the two
// take turns going first, since a session costs the platform more memory the earlier it comes.
class Ledger {
public:
    explicit Ledger(const char* part) : part_(part), last_(Measure()) {}

    // Runs one round and returns the figures at its end.
    Figures Round(const std::function<void()>& moduleWork, const std::function<void(int)>& directWork) {
        const bool counted = rounds_++ > 0;
        const bool directFirst = rounds_ % 2 == 0;
        Figures start = last_;
        if (directFirst) {
            directWork(lastModuleSessions_);
            const Figures afterDirect = Measure();
            direct_.Add(start, afterDirect);
            directSessions_ += lastModuleSessions_;
            start = afterDirect;
        }
        const int sessionsBefore = sessionsAttached;
        moduleWork();
        lastModuleSessions_ = sessionsAttached - sessionsBefore;
        const Figures afterModule = Measure();
        if (counted) {
            module_.Add(start, afterModule);
            moduleSessions_ += lastModuleSessions_;
        }
        last_ = afterModule;
        if (!directFirst) {
            directWork(lastModuleSessions_);
            last_ = Measure();
            if (counted) {
                direct_.Add(afterModule, last_);
                directSessions_ += lastModuleSessions_;
            }
        }
        return last_;
    }

    void Check() const {
        const auto mib = [](long long bytes) { return static_cast<double>(bytes) / (1 << 20); };
        Say("  %s after warm-up: %d module sessions added handles %+lld, GDI %+lld, windows %+lld, private %+.2f MiB,"
            " heap %+.2f MiB; %d direct sessions added handles %+lld, GDI %+lld, windows %+lld, private %+.2f MiB,"
            " heap %+.2f MiB",
            part_, moduleSessions_, module_.handles, module_.gdiObjects, module_.windows, mib(module_.privateBytes),
            mib(module_.heapBytes), directSessions_, direct_.handles, direct_.gdiObjects, direct_.windows,
            mib(direct_.privateBytes), mib(direct_.heapBytes));
        Within("handles", module_.handles, direct_.handles, HANDLE_SLACK);
        if (module_.gdiKnown) Within("GDI objects", module_.gdiObjects, direct_.gdiObjects, GUI_OBJECT_SLACK);
        if (module_.userKnown) Within("USER objects", module_.userObjects, direct_.userObjects, GUI_OBJECT_SLACK);
        Within("windows", module_.windows, 0, 0);
        WithinBytes("live heap bytes", module_.heapBytes, direct_.heapBytes, HEAP_BYTES_SLACK);
        if (module_.privateKnown)
            WithinBytes("private bytes", module_.privateBytes, direct_.privateBytes, PRIVATE_BYTES_SLACK);
    }

private:
    void Within(const char* what, long long added, long long directAdded, long long slack) const {
        ::Check(added <= directAdded + slack, "%s: the module's work added %lld %s, the direct sessions %lld", part_,
                added, what, directAdded);
    }

    void WithinBytes(const char* what, long long added, long long directAdded, long long fixedSlack) const {
        const long long slack = fixedSlack + std::max(0ll, directAdded) / 2;
        ::Check(added <= directAdded + slack, "%s: the module's work added %.2f MiB of %s, the direct sessions %.2f MiB",
                part_, static_cast<double>(added) / (1 << 20), what, static_cast<double>(directAdded) / (1 << 20));
    }

    const char* part_;
    Figures last_;
    Growth module_;
    Growth direct_;
    int rounds_ = 0;
    int lastModuleSessions_ = 0;
    int moduleSessions_ = 0;
    int directSessions_ = 0;
};

// ---------------------------------------------------------------- the parts

std::wstring samplePath;
std::wstring silentPath;

bool StartPlaying(Viewer& viewer) {
    const bool opened = viewer.Open(samplePath);
    Check(opened, "open of the sample failed");
    const bool attached = opened && viewer.Attach();
    Check(!opened || attached, "attach of the sample failed");
    const bool playing = attached && PumpUntil([&] { return viewer.ReportsPosition(); }, PLAYING_WAIT_MS);
    Check(!attached || playing, "the sample did not start playing within %lu ms", PLAYING_WAIT_MS);
    return playing;
}

// Sessions played one after another straight on Media Foundation, in the pane the module used.
// Watched like the entry points but not held to their limit: a hang here is the platform's own.
void PlayDirect(Pane& pane, int sessions, DWORD playMs) {
    for (int i = 0; i < sessions; ++i) {
        bench::MinimalPlayer player;
        HRESULT played = E_FAIL;
        Watched("direct play", [&] { played = player.Play(samplePath.c_str(), pane.window); });
        Check(SUCCEEDED(played), "a direct session did not play");
        Pump(playMs);
        Watched("direct close", [&] { player.Close(); });
    }
}

void RunCycles(int cycles) {
    Say("cycles: %d x (create, open, attach, pump 200 ms, destroy), every %d followed by as many direct sessions",
        cycles, CYCLE_BLOCK);
    Host host(1, 1, 640, 480);
    Ledger ledger("cycles");
    const ULONGLONG start = GetTickCount64();
    const int printEvery = std::max(CYCLE_BLOCK, cycles / 5 / CYCLE_BLOCK * CYCLE_BLOCK);
    int failedCycles = 0;
    int playingAtDestroy = 0;
    for (int done = 0; done < cycles;) {
        const int block = std::min(CYCLE_BLOCK, cycles - done);
        const Figures figures = ledger.Round(
            [&] {
                for (int i = 0; i < block; ++i) {
                    Viewer viewer(host.pane(0));
                    if (!viewer.Open(samplePath) || !viewer.Attach()) ++failedCycles;
                    Pump(200);
                    if (viewer.ReportsPosition()) ++playingAtDestroy;
                }
            },
            [&](int sessions) { PlayDirect(host.pane(0), sessions, 200); });
        done += block;
        if (done == block || done % printEvery == 0 || done == cycles)
            PrintFigures(("after cycle " + std::to_string(done)).c_str(), figures);
    }
    const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    Say("  %d cycles in %.1f s, direct sessions and measuring included; %d playing at destroy", cycles, seconds,
        playingAtDestroy);
    Check(failedCycles == 0, "cycles: %d cycles could not open or attach", failedCycles);
    ledger.Check();
}

void RunMany() {
    Say("many: %d viewers playing at once in a %dx%d grid, destroyed in a shuffled order (seed %u)",
        MANY_COLUMNS * MANY_ROWS, MANY_COLUMNS, MANY_ROWS, SHUFFLE_SEED);
    Host host(MANY_COLUMNS, MANY_ROWS, 300, 240);
    Ledger ledger("many");
    std::mt19937 random(SHUFFLE_SEED);
    const auto shuffled = [&](size_t count) {
        std::vector<size_t> order(count);
        for (size_t i = 0; i < count; ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), random);
        return order;
    };
    for (int round = 1; round <= MANY_ROUNDS; ++round) {
        const auto moduleWork = [&] {
            std::vector<std::unique_ptr<Viewer>> viewers;
            for (size_t i = 0; i < host.paneCount(); ++i) {
                viewers.push_back(std::make_unique<Viewer>(host.pane(i)));
                const bool attached = viewers.back()->Open(samplePath) && viewers.back()->Attach();
                Check(attached, "many: viewer %zu could not open or attach", i + 1);
            }
            const ULONGLONG attachedAt = GetTickCount64();
            const bool allPlaying = PumpUntil(
                [&] {
                    return std::all_of(viewers.begin(), viewers.end(), [](auto& v) { return v->ReportsPosition(); });
                },
                PLAYING_WAIT_MS);
            Check(allPlaying, "many: not every viewer reported a position within %lu ms", PLAYING_WAIT_MS);
            const ULONGLONG allPlayingMs = GetTickCount64() - attachedAt;
            Pump(MANY_EXTRA_PLAY_MS);

            std::string times;
            ULONGLONG longest = 0;
            for (size_t index : shuffled(viewers.size())) {
                const ULONGLONG elapsed = viewers[index]->Destroy();
                longest = std::max(longest, elapsed);
                Check(elapsed < PROMPT_DESTROY_MS, "many: destroy of viewer %zu took %llu ms", index + 1, elapsed);
                times += " " + std::to_string(index + 1) + ":" + std::to_string(elapsed);
            }
            Say("  round %d: all playing %llu ms after the last attach; destroyed (viewer:ms)%s, longest %llu ms",
                round, allPlayingMs, times.c_str(), longest);
        };
        const auto directWork = [&](int) {
            std::vector<std::unique_ptr<bench::MinimalPlayer>> players;
            for (size_t i = 0; i < host.paneCount(); ++i) {
                players.push_back(std::make_unique<bench::MinimalPlayer>());
                HRESULT played = E_FAIL;
                Watched("direct play", [&] { played = players.back()->Play(samplePath.c_str(), host.pane(i).window); });
                Check(SUCCEEDED(played), "many: a direct session did not play");
            }
            Pump(MANY_EXTRA_PLAY_MS);
            for (size_t index : shuffled(players.size())) Watched("direct close", [&] { players[index].reset(); });
        };
        PrintFigures(("after round " + std::to_string(round)).c_str(), ledger.Round(moduleWork, directWork));
    }
    ledger.Check();
}

// A movie without sound is torn down before the video renderer has given back its frames,
// which crashed the process about once in a hundred destroys while the session's reports of
// those frames outlived it.
void RunSilent(int cycles) {
    Say("silent: %d x (open the video-only movie, attach, play %lu to %lu ms, destroy)", cycles, SILENT_PLAY_MS.first,
        SILENT_PLAY_MS.second);
    Host host(1, 1, 640, 480);
    std::mt19937 random(SHUFFLE_SEED);
    std::uniform_int_distribution<DWORD> playMs(SILENT_PLAY_MS.first, SILENT_PLAY_MS.second);
    const ULONGLONG start = GetTickCount64();
    int failedCycles = 0;
    for (int i = 0; i < cycles; ++i) {
        Viewer viewer(host.pane(0));
        if (!viewer.Open(silentPath) || !viewer.Attach()) ++failedCycles;
        Pump(playMs(random));
    }
    Say("  %d cycles in %.1f s", cycles, static_cast<double>(GetTickCount64() - start) / 1000.0);
    Check(failedCycles == 0, "silent: %d cycles could not open or attach", failedCycles);
}

// ---- teardown in the pending states

enum class Teardown { Destroy, Reopen };

const char* TeardownName(Teardown how) { return how == Teardown::Destroy ? "destroy" : "re-open"; }

// What each situation's teardown found: the player's state, and what became of a box.
std::map<std::string, std::map<std::string, int>> seen;

void Note(const char* situation, Teardown how, const std::string& what) {
    ++seen[std::string(situation) + ", " + TeardownName(how)][what];
}

// Destroys the viewer, or opens the sample again in it: a re-opened viewer must attach and
// play as a new one does, and is then destroyed.
void TearDown(std::unique_ptr<Viewer>& viewer, Teardown how, const char* situation) {
    Note(situation, how, StateName(viewer->State()));
    if (how == Teardown::Destroy) {
        viewer->Destroy();
        return;
    }
    Check(viewer->Open(samplePath), "%s: re-open failed", situation);
}

void FinishReopened(std::unique_ptr<Viewer>& viewer, Teardown how, const char* situation) {
    if (how == Teardown::Reopen) {
        const bool attached = viewer->Attach();
        Check(attached, "%s: attach after the re-open failed", situation);
        Check(!attached || PumpUntil([&] { return viewer->ReportsPosition(); }, PLAYING_WAIT_MS),
              "%s: the re-opened sample did not play", situation);
    }
    viewer.reset();
}

// Attach waits on the session and lets messages that other threads send through. A second
// thread sends to the host frame throughout B's attach; the first time the frame hears from it
// while B is OpenPending, the host tears down A, which plays in another pane.
void AtOpenPending(Host& host, Teardown how) {
    const char* situation = "OpenPending (another viewer's attach)";
    auto a = std::make_unique<Viewer>(host.pane(0));
    auto b = std::make_unique<Viewer>(host.pane(1));
    if (!StartPlaying(*a) || !b->Open(samplePath)) return;

    int sightings = 0;
    host.onProbe = [&] {
        if (b->State() != PlayerState::OpenPending) return;
        if (sightings++ > 0) return;
        Note(situation, how, "attaching viewer OpenPending");
        TearDown(a, how, situation);
    };
    std::atomic<bool> attaching{true};
    std::thread prober([&] {
        while (attaching) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(host.frame(), WM_PROBE, 0, 0, SMTO_NORMAL, CALL_LIMIT_MS, &ignored);
            Sleep(5);
        }
    });
    const bool attached = b->Attach();
    attaching = false;
    prober.join();
    host.onProbe = nullptr;

    Check(attached, "%s: attach failed", situation);
    b.reset();
    // Rarely the session reports before a probe gets through; the part as a whole must meet it.
    if (sightings == 0) {
        Note(situation, how, "attach over before a probe got through");
        a.reset();
        return;
    }
    FinishReopened(a, how, situation);
}

void AtStartPending(Host& host, Teardown how) {
    const char* situation = "StartPending (right after attach)";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    Check(viewer->Open(samplePath) && viewer->Attach(), "%s: open or attach failed", situation);
    TearDown(viewer, how, situation);
    FinishReopened(viewer, how, situation);
}

void AfterClick(Host& host, Teardown how, int buttonId, PlayerState expected, const char* situation) {
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    viewer->Click(buttonId);
    // The session's answer reaches the player only through this thread's messages.
    Check(viewer->State() == expected, "%s: the click left %s", situation, StateName(viewer->State()));
    TearDown(viewer, how, situation);
    FinishReopened(viewer, how, situation);
}

// Opens the context menu with a right click and runs the script's steps from the host's timer,
// which the menu's modal loop (and a box's) keeps dispatching. Returns when the click returns.
void RightClickWith(Host& host, Viewer& viewer, std::function<bool()> step) {
    host.Every(std::move(step));
    const HWND pane = viewer.pane().window;
    SendMessageW(pane, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(40, 40));
    host.StopScript();
}

void InContextMenu(Host& host, Teardown how) {
    const char* situation = "context menu open";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    const ULONGLONG start = GetTickCount64();
    ULONGLONG tornDownAt = 0;
    bool stayedOpen = false;
    RightClickWith(host, *viewer, [&] {
        const ULONGLONG now = GetTickCount64();
        const HWND menu = ThreadWindow(MENU_CLASS);
        if (!tornDownAt) {
            if (!menu) return now - start > CALL_LIMIT_MS / 2;
            TearDown(viewer, how, situation);
            tornDownAt = GetTickCount64();
            return false;
        }
        if (menu && now - tornDownAt > CLOSE_AFTER_TEARDOWN_MS) {
            stayedOpen = true;
            EndMenu();
        }
        return !menu;
    });
    Check(tornDownAt != 0, "%s: the menu never opened", situation);
    Check(!stayedOpen, "%s: the menu stayed open after the viewer's %s", situation, TeardownName(how));
    Check(!ThreadWindow(MENU_CLASS), "%s: a menu is still open", situation);
    FinishReopened(viewer, how, situation);
}

void InPropertiesBox(Host& host, Teardown how) {
    const char* situation = "properties box open";
    auto viewer = std::make_unique<Viewer>(host.pane(0));
    if (!StartPlaying(*viewer)) return;
    const ULONGLONG start = GetTickCount64();
    bool chosen = false;
    ULONGLONG tornDownAt = 0;
    bool boxStayed = false;
    RightClickWith(host, *viewer, [&] {
        const ULONGLONG now = GetTickCount64();
        if (now - start > 2 * CALL_LIMIT_MS / 3) {
            EndMenu();
            return true;
        }
        if (!chosen) {
            // The last item, Properties: from no selection, up wraps round to it.
            const HWND menu = ThreadWindow(MENU_CLASS);
            if (!menu) return false;
            PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
            PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
            chosen = true;
            return false;
        }
        const HWND box = ThreadWindow(DIALOG_CLASS, L"Properties");
        if (!tornDownAt) {
            if (!box) return false;
            TearDown(viewer, how, situation);
            tornDownAt = GetTickCount64();
            return false;
        }
        // What the box does once its viewer is gone is shown; then the host's user closes it.
        if (!box) return true;
        if (now - tornDownAt > 300) {
            boxStayed = true;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return false;
    });
    Check(tornDownAt != 0, "%s: the properties box never opened", situation);
    Check(!ThreadWindow(DIALOG_CLASS) && !ThreadWindow(MENU_CLASS), "%s: a box or menu is still open", situation);
    if (tornDownAt) Note(situation, how, boxStayed ? "box stayed open" : "box closed with its viewer");
    FinishReopened(viewer, how, situation);
}

void PendingRound(Host& host) {
    for (Teardown how : {Teardown::Destroy, Teardown::Reopen}) {
        AtOpenPending(host, how);
        AtStartPending(host, how);
        AfterClick(host, how, PLAY_BUTTON_ID, PlayerState::PausePending, "PausePending (pause click)");
        AfterClick(host, how, STOP_BUTTON_ID, PlayerState::StopPending, "StopPending (stop click)");
        InContextMenu(host, how);
        InPropertiesBox(host, how);
    }
}

void RunPending() {
    Say("pending: destroy and re-open in every pending state, with the menu and the properties box open");
    Host host(2, 1, 480, 360);
    Ledger ledger("pending");
    for (int round = 1; round <= PENDING_ROUNDS; ++round) {
        const ULONGLONG start = GetTickCount64();
        const Figures figures = ledger.Round([&] { PendingRound(host); },
                                             [&](int sessions) { PlayDirect(host.pane(0), sessions, 200); });
        Say("  round %d in %.1f s, direct sessions and measuring included", round,
            static_cast<double>(GetTickCount64() - start) / 1000.0);
        PrintFigures(("after round " + std::to_string(round)).c_str(), figures);
    }
    int openPendingMet = 0;
    for (const auto& [situation, states] : seen) {
        std::string text;
        for (const auto& [state, count] : states) {
            text += " " + state + " x" + std::to_string(count);
            if (state == "attaching viewer OpenPending") openPendingMet += count;
        }
        Say("  %-48s%s", situation.c_str(), text.c_str());
    }
    Check(openPendingMet > 0, "pending: the probes never met an attach while OpenPending");
    ledger.Check();
}

// ---------------------------------------------------------------- setup

std::wstring BesideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

const ExtViewModuleInfo* ReadModuleInfo(HMODULE library) {
    if (!library) return nullptr;
    const auto getInfo = reinterpret_cast<GetExtViewModuleInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetExtViewModuleInfo")));
    const ExtViewModuleInfo* info = getInfo ? getInfo(nullptr) : nullptr;
    if (!info || !info->signature || std::strcmp(info->signature, "VornExtViewModule") != 0) return nullptr;
    const bool complete =
        info->create && info->destroy && info->open && info->attach && info->draw && info->message;
    return complete ? info : nullptr;
}

struct Options {
    std::wstring mediaDir;
    int cycles = 500;
    std::wstring part;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--cycles" && i + 1 < argc) {
            options.cycles = _wtoi(argv[++i]);
            if (options.cycles < 1) return false;
        } else if (arg == L"--part" && i + 1 < argc) {
            options.part = argv[++i];
            if (options.part != L"cycles" && options.part != L"silent" && options.part != L"many" &&
                options.part != L"pending")
                return false;
        } else if (arg.rfind(L"--", 0) != 0 && options.mediaDir.empty()) {
            options.mediaDir = arg;
        } else {
            return false;
        }
    }
    return !options.mediaDir.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Say("usage: endurance.exe MEDIA_DIR [--cycles N] [--part cycles|silent|many|pending]");
        return EXIT_SETUP_FAILED;
    }
    samplePath = options.mediaDir + L"\\sample.mp4";
    silentPath = options.mediaDir + L"\\video-only.mp4";
    if (GetFileAttributesW(samplePath.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesW(silentPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Say("no sample.mp4 or video-only.mp4 in the media folder");
        return EXIT_SETUP_FAILED;
    }

    const ComApartment com;
    const Library library(LoadLibraryW(BesideThisProgram(L"moviepane.dll").c_str()));
    module = ReadModuleInfo(library.get());
    if (!module) {
        Say("moviepane.dll is missing beside this program or is not a viewer module");
        return EXIT_SETUP_FAILED;
    }
    Watchdog dog;
    watchdog = &dog;

    const ULONGLONG start = GetTickCount64();
    PrintFigures("at start", Measure());
    const bool all = options.part.empty();
    if (all || options.part == L"cycles") RunCycles(options.cycles);
    if (all || options.part == L"silent") RunSilent(options.cycles);
    if (all || options.part == L"many") RunMany();
    if (all || options.part == L"pending") RunPending();

    Say("entry points:");
    dog.Report();
    failures += dog.errorBoxes;
    Say("endurance: %.1f s, %d failed checks", static_cast<double>(GetTickCount64() - start) / 1000.0, failures);
    return failures ? EXIT_CHECK_FAILED : 0;
}
