// stress_corpus: hands every file of the bad-input corpus to moviepane.dll, each in a host
// process of its own, and tells how each one ended. A bad file may be refused (with the error
// box), shown as an icon or played; it must never crash or hang the host, leave anything of
// the module behind in the host window, or spoil the next file.
//
//   stress_corpus.exe CORPUS_DIR [--sample N] [--seed S]
//   stress_corpus.exe --one PATH [--special deleted]
//
// The first form reads CORPUS_DIR/corpus.tsv and starts the second form for each file, waits
// for it and reads its report. --sample N takes N files spread evenly over the damaged ones
// (--seed S shifts the spread), plus every one-off case and the files that once found a fault.
// Exit code 0: nothing hurt the host; 1: a hang, a crash, a refusal without a box, harm left
// behind or a failed canary; 2: bad command line or missing files.

#include "common/Owned.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the module posts and sets on the host window, as a host sees it.
constexpr UINT MODULE_PLAYER_EVENT = WM_APP + 1;
constexpr UINT_PTR MODULE_REFRESH_TIMER = 999;
constexpr int PLAY_BUTTON = 1;
constexpr int STOP_BUTTON = 2;

constexpr DWORD CHILD_LIMIT_MS = 40000;
constexpr DWORD PLAY_MS = 2000;
constexpr DWORD AFTER_CLICK_MS = 300;
constexpr DWORD AFTER_DESTROY_MS = 300;
constexpr DWORD SLOW_CALL_MS = 5000;
constexpr int CANARY_EVERY = 25;

// Corpus files that found a fault in the module, run by every sample as well.
// sample-mp4_cut-02277.mp4 (cut right after the header of the first track's chunk offsets): the
// platform's source stalls for good on about one open of it in ten, and open waited for it
// without a bound.
const char* const KEPT_IN_SAMPLE[] = {"sample-mp4_cut-02277.mp4"};

constexpr int EXIT_HURT = 1;
constexpr int EXIT_SETUP = 2;

using Library = Owned<HMODULE, FreeLibrary>;
using Handle = Owned<HANDLE, CloseHandle>;
using ArgumentList = Owned<LPWSTR*, LocalFree>;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

std::wstring ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring BesideThisProgram(const wchar_t* name) {
    const std::wstring program = ThisProgram();
    return program.substr(0, program.find_last_of(L"\\/") + 1) + name;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length);
    return full;
}

void PumpMessages(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                  QS_ALLINPUT);
    }
}

// ------------------------------------------------------------------ the host process (--one)

// Lines to the parent, one record each, tab-separated and UTF-8: setup, box, slow, note, harm,
// calls, crash and finally outcome.
class Report {
public:
    static void Line(const std::string& text) {
        static std::mutex mutex;
        const std::lock_guard<std::mutex> lock(mutex);
        const std::string line = text + "\n";
        Raw(line.data(), line.size());
    }
    // For the crash handler, which must neither wait for a lock nor allocate.
    static void Raw(const char* text, size_t length) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
    }
};

std::string OneLine(const std::wstring& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '\r') continue;
        if (c == '\n') {
            out += "\\n";
        } else {
            out.push_back(c == '\t' ? ' ' : c);
        }
    }
    return out;
}

enum class EntryPoint { Create, Open, Attach, Draw, Message, Destroy };
constexpr int ENTRY_POINTS = 6;
const char* const ENTRY_POINT_NAMES[ENTRY_POINTS] = {"create", "open", "attach", "draw", "message", "destroy"};

const char* NameOf(EntryPoint which) { return ENTRY_POINT_NAMES[static_cast<int>(which)]; }

class Watchdog;
// The watchdog of this process, for the crash handler.
std::atomic<const Watchdog*> activeWatchdog{nullptr};

// Times every call into the module. Calls nest (the pane's messages reach the module while
// attach waits, and the module's own requests send messages to the pane), so the calls in
// progress form a stack; a thread of its own tells the parent about any call that goes on for
// long, which names the culprit if the parent has to give up on this process.
class Watchdog {
public:
    Watchdog() : thread_([this] { Run(); }) { activeWatchdog = this; }
    ~Watchdog() {
        activeWatchdog = nullptr;
        stop_ = true;
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    void Enter(EntryPoint which) {
        const std::lock_guard<std::mutex> lock(mutex_);
        active_.push_back({which, GetTickCount64(), SLOW_CALL_MS});
        innermost_ = static_cast<int>(which);
    }
    void Leave() {
        const std::lock_guard<std::mutex> lock(mutex_);
        const Active call = active_.back();
        active_.pop_back();
        innermost_ = active_.empty() ? -1 : static_cast<int>(active_.back().which);
        Stats& stats = stats_[static_cast<int>(call.which)];
        const ULONGLONG took = GetTickCount64() - call.start;
        ++stats.calls;
        stats.longest = std::max(stats.longest, took);
    }
    // The innermost entry point in progress, or null; read without the lock by the crash handler.
    const char* Innermost() const {
        const int which = innermost_;
        return which < 0 ? nullptr : ENTRY_POINT_NAMES[which];
    }
    // "create 1 0" and so on: entry point, calls and the longest call in milliseconds.
    std::string Summary() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::string out = "calls";
        for (int which = 0; which < ENTRY_POINTS; ++which) {
            out += "\t" + std::string(ENTRY_POINT_NAMES[which]) + " " + std::to_string(stats_[which].calls) + " " +
                   std::to_string(stats_[which].longest);
        }
        return out;
    }

private:
    struct Active {
        EntryPoint which;
        ULONGLONG start;
        ULONGLONG nextWarning;
    };
    struct Stats {
        unsigned calls = 0;
        ULONGLONG longest = 0;
    };

    void Run() {
        while (!stop_) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                const ULONGLONG now = GetTickCount64();
                for (Active& call : active_) {
                    if (now - call.start < call.nextWarning) continue;
                    Report::Line(std::string("slow\t") + NameOf(call.which) + "\t" +
                                 std::to_string(now - call.start));
                    call.nextWarning += SLOW_CALL_MS;
                }
            }
            Sleep(100);
        }
    }

    mutable std::mutex mutex_;
    std::vector<Active> active_;
    std::atomic<int> innermost_{-1};
    Stats stats_[ENTRY_POINTS];
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

DWORD hostThread = 0;

// "name.dll+0x1234" for an address inside a loaded module, into a caller's buffer: the crash
// handler must not allocate. False for an address outside every module.
bool DescribeAddress(const void* address, char* out, size_t size) {
    HMODULE module = nullptr;
    char path[MAX_PATH] = "";
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &module) ||
        !GetModuleFileNameA(module, path, MAX_PATH)) {
        std::snprintf(out, size, "%p", address);
        return false;
    }
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/') name = c + 1;
    }
    const auto offset = reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(module);
    std::snprintf(out, size, "%s+0x%llx", name, static_cast<unsigned long long>(offset));
    return true;
}

// Tells the parent what failed, on which thread, in which call and where. Unwinding needs more
// than a crash handler should do, so the stack is given as the words on it that point into a
// module: the return addresses among them name the callers.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception->ExceptionRecord->ExceptionCode;
    const Watchdog* timer = activeWatchdog;
    const char* call = timer ? timer->Innermost() : nullptr;
    char where[160];
    DescribeAddress(exception->ExceptionRecord->ExceptionAddress, where, sizeof(where));
    char line[1024];
    int length = std::snprintf(line, sizeof(line), "crash\t0x%08lX in %s, at %s on the %s thread\tstack:",
                               static_cast<unsigned long>(code), call ? call : "no entry point", where,
                               GetCurrentThreadId() == hostThread ? "host's" : "another");
#if defined(_WIN64)
    auto* word = reinterpret_cast<void* const*>(exception->ContextRecord->Rsp);
#else
    auto* word = reinterpret_cast<void* const*>(exception->ContextRecord->Esp);
#endif
    // The top of this thread's stack: the end of the committed region that holds it.
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(word, &region, sizeof(region));
    const auto* stackBase =
        reinterpret_cast<void* const*>(static_cast<const char*>(region.BaseAddress) + region.RegionSize);
    for (int found = 0; word < stackBase && found < 16 && length > 0 &&
                        static_cast<size_t>(length) < sizeof(line) - 80;
         ++word) {
        if (!DescribeAddress(*word, where, sizeof(where))) continue;
        length += std::snprintf(line + length, sizeof(line) - length, " %s", where);
        ++found;
    }
    if (length > 0 && static_cast<size_t>(length) < sizeof(line) - 1) line[length++] = '\n';
    Report::Raw(line, static_cast<size_t>(std::max(length, 0)));
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (process == GetCurrentProcessId() && std::wcscmp(name, L"#32770") == 0 && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

// Plays the user in front of the error box: reads every dialog box of this process, tells the
// parent what it said and presses OK.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Run(); }) {}
    ~BoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    size_t Count() const { return seen_; }

private:
    void Run() {
        std::vector<HWND> handled;
        while (!stop_) {
            std::vector<HWND> boxes;
            EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&boxes));
            for (HWND box : boxes) {
                if (std::find(handled.begin(), handled.end(), box) != handled.end()) continue;
                handled.push_back(box);
                wchar_t caption[256] = {};
                GetWindowTextW(box, caption, 256);
                wchar_t text[1024] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 1024);
                Report::Line("box\t" + OneLine(caption) + "\t" + OneLine(text));
                ++seen_;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(10);
        }
    }

    std::atomic<size_t> seen_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The module as a host drives it: every call goes through the watchdog.
class Module {
public:
    Module(const ExtViewModuleInfo& info, Watchdog& watchdog) : info_(info), watchdog_(watchdog) {}

    template <typename Call>
    auto Timed(EntryPoint which, Call&& call) {
        watchdog_.Enter(which);
        const auto result = call();
        watchdog_.Leave();
        return result;
    }
    bool Create() {
        handle_ = Timed(EntryPoint::Create, [&] { return info_.create(nullptr); });
        return handle_ != nullptr;
    }
    bool Open(const std::wstring& path) {
        return Timed(EntryPoint::Open, [&] {
                   return info_.open(handle_, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr);
               }) == 0;
    }
    bool Attach(HWND window) {
        return Timed(EntryPoint::Attach, [&] { return info_.attach(handle_, window); }) == 0;
    }
    void Draw(HDC dc, const RECT& source, const RECT& destination) {
        Timed(EntryPoint::Draw, [&] { return info_.draw(handle_, dc, &source, &destination, nullptr); });
    }
    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) {
        return Timed(EntryPoint::Message, [&] { return info_.message(handle_, message, wParam, lParam); });
    }
    void Destroy() {
        Timed(EntryPoint::Destroy, [&] {
            info_.destroy(handle_);
            return 0;
        });
        handle_ = nullptr;
    }
    bool Alive() const { return handle_ != nullptr; }

private:
    const ExtViewModuleInfo& info_;
    Watchdog& watchdog_;
    ExtViewHandle handle_ = nullptr;
};

// A frame with a child pane, as in a file manager. The pane hands every message to the module
// while a viewer lives, paints through draw, and notices what arrives after the viewer is gone.
class HostWindow {
public:
    HostWindow() {
        static const bool registered = [] {
            WNDCLASSW frame{};
            frame.lpfnWndProc = DefWindowProcW;
            frame.hInstance = GetModuleHandleW(nullptr);
            frame.lpszClassName = L"StressCorpusFrame";
            WNDCLASSW pane{};
            pane.lpfnWndProc = PaneProc;
            pane.hInstance = GetModuleHandleW(nullptr);
            pane.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
            pane.lpszClassName = L"StressCorpusPane";
            return RegisterClassW(&frame) && RegisterClassW(&pane);
        }();
        if (!registered) return;
        frame_ = CreateWindowExW(0, L"StressCorpusFrame", L"stress_corpus", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                 0, 0, 660, 520, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        RECT client{};
        GetClientRect(frame_, &client);
        pane_ = CreateWindowExW(0, L"StressCorpusPane", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                client.right, client.bottom, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(pane_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ShowWindow(frame_, SW_SHOW);
        UpdateWindow(frame_);
    }
    ~HostWindow() {
        if (pane_) SetWindowLongPtrW(pane_, GWLP_USERDATA, 0);
        if (frame_) DestroyWindow(frame_);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND pane() const { return pane_; }
    void SetModule(Module* module) { module_ = module; }
    int clicks = 0;
    int lateEvents = 0;
    int lateTicks = 0;

private:
    static LRESULT CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!host) return DefWindowProcW(window, message, wParam, lParam);
        Module* module = host->module_ && host->module_->Alive() ? host->module_ : nullptr;
        if (message == WM_COMMAND && (LOWORD(wParam) == PLAY_BUTTON || LOWORD(wParam) == STOP_BUTTON) &&
            HIWORD(wParam) == BN_CLICKED)
            ++host->clicks;
        if (!module) {
            // The event's reference is lost with it: the module let an event outlive its viewer.
            if (message == MODULE_PLAYER_EVENT) ++host->lateEvents;
            if (message == WM_TIMER && wParam == MODULE_REFRESH_TIMER) ++host->lateTicks;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        const int32_t result = module->Message(message, wParam, lParam);
        if (message == WM_PAINT) {
            host->Paint(*module);
            return 0;
        }
        return result == 1 ? DefWindowProcW(window, message, wParam, lParam) : 0;
    }

    void Paint(Module& module) {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(pane_, &paint);
        RECT view{};
        GetClientRect(pane_, &view);
        module.Message(WM_EXTVIEW_ADJUST_VIEW_RECT, reinterpret_cast<WPARAM>(&view), 0);
        int32_t size[2] = {0, 0};
        module.Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
        if (size[0] > 0 && size[1] > 0) module.Draw(dc, RECT{0, 0, size[0], size[1]}, view);
        EndPaint(pane_, &paint);
    }

    HWND frame_ = nullptr;
    HWND pane_ = nullptr;
    Module* module_ = nullptr;
};

int CountChildren(HWND window) {
    int count = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
    return count;
}

bool Click(HWND pane, int id) {
    const HWND button = GetDlgItem(pane, id);
    if (!button) return false;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

const ExtViewModuleInfo* ReadModuleInfo(HMODULE library) {
    if (!library) return nullptr;
    const auto getInfo = reinterpret_cast<GetExtViewModuleInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "GetExtViewModuleInfo")));
    return getInfo ? getInfo(nullptr) : nullptr;
}

// What the host sees of an attached viewer: the picture of a video, or an icon.
std::string AttachedOutcome(Module& module) {
    int32_t size[2] = {0, 0};
    int32_t depth = 0;
    module.Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
    module.Message(WM_EXTVIEW_GET_BIT_DEPTH, reinterpret_cast<WPARAM>(&depth), 0);
    const std::string dimensions = std::to_string(size[0]) + "x" + std::to_string(size[1]);
    if (depth > 0) return "icon\t" + dimensions + ", " + std::to_string(depth) + " bits";
    if (size[0] > 1 && size[1] > 1) return "played\t" + dimensions;
    return "blank\t" + dimensions;
}

int RunOne(const std::wstring& path, const std::wstring& special) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    hostThread = GetCurrentThreadId();
    SetUnhandledExceptionFilter(ReportCrash);

    const Library library(LoadLibraryW(BesideThisProgram(L"moviepane.dll").c_str()));
    const ExtViewModuleInfo* info = ReadModuleInfo(library.get());
    if (!info) {
        Report::Line("setup\tmoviepane.dll is missing beside this program or is not a viewer module");
        return EXIT_SETUP;
    }
    std::string outcome;
    {
        Watchdog timer;
        BoxWatcher boxes;
        HostWindow host;
        if (!host.pane()) {
            Report::Line("setup\tthe host window could not be made");
            return EXIT_SETUP;
        }
        Module module(*info, timer);
        if (!module.Create()) {
            Report::Line("setup\tcreate gave no viewer");
            return EXIT_SETUP;
        }
        host.SetModule(&module);
        const bool opened = module.Open(path);
        if (opened && module.Attach(host.pane())) {
            outcome = AttachedOutcome(module);
        } else if (opened) {
            outcome = "not attached\t";
        }
        if (opened && special == L"deleted") {
            const bool deleted = DeleteFileW(path.c_str());
            Report::Line(deleted ? "note\tdeleted while playing"
                                 : "note\tcould not be deleted while playing (error " +
                                       std::to_string(GetLastError()) + ")");
        }
        if (opened) {
            PumpMessages(PLAY_MS);
            const bool paused = Click(host.pane(), PLAY_BUTTON);
            PumpMessages(AFTER_CLICK_MS);
            const bool stopped = Click(host.pane(), STOP_BUTTON);
            PumpMessages(AFTER_CLICK_MS);
            if (!paused || !stopped || host.clicks != 2)
                Report::Line("note\t" + std::to_string(host.clicks) + " of 2 button clicks reached the pane");
        }
        const size_t boxesBeforeDestroy = boxes.Count();
        module.Destroy();
        PumpMessages(AFTER_DESTROY_MS);

        if (!opened) outcome = boxesBeforeDestroy ? "refused\t" : "no box\t";
        if (opened && boxesBeforeDestroy) Report::Line("harm\ta message box although open succeeded");
        if (boxes.Count() != boxesBeforeDestroy) Report::Line("harm\ta message box after destroy");
        if (const int left = CountChildren(host.pane()))
            Report::Line("harm\t" + std::to_string(left) + " windows left in the pane after destroy");
        if (host.lateEvents)
            Report::Line("harm\t" + std::to_string(host.lateEvents) + " session events reached the pane after destroy");
        if (host.lateTicks) Report::Line("harm\tthe refresh timer went on after destroy");
        Report::Line(timer.Summary());
    }
    Report::Line("outcome\t" + outcome);
    return 0;
}

// ------------------------------------------------------------------ the runner

struct Entry {
    std::wstring name;  // below the corpus folder, with '/'
    std::string kind;
    std::string detail;
};

std::optional<std::vector<Entry>> ReadManifest(const std::wstring& corpus) {
    std::ifstream in((corpus + L"\\corpus.tsv").c_str(), std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<Entry> entries;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() < 3) continue;
        entries.push_back({Wide(fields[0]), fields[1], fields[2]});
    }
    return entries;
}

struct Run {
    std::string kind;
    std::wstring path;
    std::string label;  // for the listing
    std::wstring special;
};

struct Result {
    std::string outcome;  // "played", "refused: <text>", "hang", ...
    std::string detail;
    std::vector<std::string> harm;
    std::vector<std::string> notes;
    std::map<std::string, std::pair<unsigned, ULONGLONG>> calls;  // entry point: calls, longest ms
    ULONGLONG milliseconds = 0;
    bool failed = false;
};

// The description's first line: the box shows the path, a line feed, then the description.
std::string FirstLineOfDescription(const std::string& boxText) {
    const size_t start = boxText.find("\\n");
    std::string text = start == std::string::npos ? boxText : boxText.substr(start + 2);
    text = text.substr(0, text.find("\\n"));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

Result Interpret(const std::string& output, DWORD exitCode, bool timedOut) {
    Result result;
    std::string category;
    std::string lastSlow;
    std::string crash;
    std::string boxText;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.empty()) continue;
        const std::string& tag = fields[0];
        if (tag == "outcome" && fields.size() >= 2) {
            category = fields[1];
            result.detail = fields.size() >= 3 ? fields[2] : "";
        } else if (tag == "box" && fields.size() >= 3 && boxText.empty()) {
            boxText = fields[2];
        } else if (tag == "slow" && fields.size() >= 3) {
            lastSlow = fields[1] + " still running after " + fields[2] + " ms";
        } else if (tag == "crash" && fields.size() >= 3) {
            crash = fields[1];
            result.notes.push_back(fields[2]);
        } else if (tag == "harm" && fields.size() >= 2) {
            result.harm.push_back(fields[1]);
        } else if ((tag == "note" || tag == "setup") && fields.size() >= 2) {
            result.notes.push_back(fields[1]);
        } else if (tag == "calls") {
            for (size_t i = 1; i < fields.size(); ++i) {
                std::istringstream call(fields[i]);
                std::string name;
                unsigned count = 0;
                ULONGLONG longest = 0;
                if (call >> name >> count >> longest) result.calls[name] = {count, longest};
            }
        }
    }

    if (timedOut) {
        result.outcome = "hang";
        result.detail = lastSlow.empty() ? (category.empty() ? "no call in progress" : "after its outcome: " + category)
                                         : lastSlow;
    } else if (exitCode != 0 || category.empty()) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(exitCode));
        result.outcome = exitCode == EXIT_SETUP ? "setup failed" : "crash";
        result.detail = !crash.empty() ? crash : std::string("exit code ") + code;
    } else if (category == "refused") {
        result.outcome = "refused: " + FirstLineOfDescription(boxText);
    } else if (category == "no box") {
        result.outcome = "refused without a box";
    } else {
        result.outcome = category;
    }
    const bool hurt = result.outcome == "hang" || result.outcome == "crash" || result.outcome == "setup failed" ||
                      result.outcome == "refused without a box";
    result.failed = hurt || !result.harm.empty();
    return result;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Starts this program on one file and reads its report until it ends or runs out of time.
Result RunChild(const Run& run) {
    const ULONGLONG started = GetTickCount64();
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        Result failed;
        failed.outcome = "setup failed";
        failed.detail = "no pipe";
        failed.failed = true;
        return failed;
    }
    const Handle output(readEnd);
    Handle childOutput(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = Quoted(ThisProgram()) + L" --one " + Quoted(run.path);
    if (!run.special.empty()) commandLine += L" --special " + run.special;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        Result failed;
        failed.outcome = "setup failed";
        failed.detail = "CreateProcessW error " + std::to_string(GetLastError());
        failed.failed = true;
        return failed;
    }
    const Handle child(process.hProcess);
    const Handle childThread(process.hThread);
    childOutput.reset();

    // Read while waiting, so that a full pipe never stalls the child, and so that a child that
    // has to be killed still tells what it was doing.
    std::string text;
    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(output.get(), nullptr, 0, nullptr, &available, nullptr) && available) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (!ReadFile(output.get(), chunk.data(), available, &read, nullptr) || !read) break;
            text.append(chunk, 0, read);
        }
    };
    bool timedOut = false;
    for (;;) {
        drain();
        if (WaitForSingleObject(child.get(), 50) == WAIT_OBJECT_0) break;
        if (GetTickCount64() - started > CHILD_LIMIT_MS) {
            drain();
            TerminateProcess(child.get(), ERROR_TIMEOUT);
            WaitForSingleObject(child.get(), 5000);
            timedOut = true;
            break;
        }
    }
    drain();
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    Result result = Interpret(text, exitCode, timedOut);
    result.milliseconds = GetTickCount64() - started;
    return result;
}

// The runs in order: the chosen corpus entries (a long path both plain and with the \\?\ prefix),
// the two cases the runner makes itself, and a canary every CANARY_EVERY runs and at the end.
std::vector<Run> PlanRuns(const std::vector<Entry>& entries, const std::wstring& corpus, const std::wstring& scratch,
                          std::optional<size_t> sample, size_t seed) {
    std::map<std::string, size_t> perKind;
    for (const Entry& entry : entries) ++perKind[entry.kind];
    // Kinds with one or two files are one-off cases, in every run; the rest are damaged movies.
    std::set<size_t> chosen;
    std::vector<size_t> damaged;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (perKind[entries[i].kind] <= 2) {
            chosen.insert(i);
        } else {
            damaged.push_back(i);
        }
    }
    const size_t picks = sample ? std::min(*sample, damaged.size()) : damaged.size();
    for (size_t i = 0; i < picks; ++i) chosen.insert(damaged[(i * damaged.size() / picks + seed) % damaged.size()]);
    for (size_t i = 0; i < entries.size(); ++i) {
        for (const char* kept : KEPT_IN_SAMPLE) {
            if (Utf8(entries[i].name) == kept) chosen.insert(i);
        }
    }

    std::vector<Run> runs;
    for (size_t index : chosen) {
        const Entry& entry = entries[index];
        std::wstring relative = entry.name;
        std::replace(relative.begin(), relative.end(), L'/', L'\\');
        const std::wstring path = corpus + L"\\" + relative;
        const std::string label = Utf8(entry.name) + " (" + entry.detail + ")";
        runs.push_back({entry.kind, path, label, L""});
        if (path.size() >= MAX_PATH)
            runs.push_back({entry.kind + " \\\\?\\", L"\\\\?\\" + path, "\\\\?\\" + label, L""});
    }
    runs.push_back({"locked", scratch + L"\\locked.mp4", "sample.mp4 held open without sharing", L""});
    runs.push_back({"deleted", scratch + L"\\deleted.mp4", "sample.mp4 deleted while it plays", L"deleted"});

    std::vector<Run> withCanaries;
    const Run canary{"canary", corpus + L"\\sample.mp4", "sample.mp4", L""};
    for (size_t i = 0; i < runs.size(); ++i) {
        if (i > 0 && i % CANARY_EVERY == 0) withCanaries.push_back(canary);
        withCanaries.push_back(runs[i]);
    }
    withCanaries.push_back(canary);
    return withCanaries;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string Seconds(ULONGLONG milliseconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f s", static_cast<double>(milliseconds) / 1000.0);
    return text;
}

// The broad class of an outcome, for the matrix of kinds.
std::string ColumnOf(const std::string& outcome) {
    return outcome.rfind("refused: ", 0) == 0 ? "refused" : outcome;
}

std::string RightAligned(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

void PrintTables(const std::vector<Run>& runs, const std::vector<Result>& results) {
    std::vector<std::string> kinds;
    std::map<std::string, std::map<std::string, int>> matrix;
    std::map<std::string, std::map<std::string, int>> byOutcome;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string& kind = runs[i].kind;
        if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
        for (const std::string& key : {kind, std::string("all")}) {
            ++matrix[key][ColumnOf(results[i].outcome)];
            ++matrix[key]["total"];
            if (!results[i].harm.empty()) ++matrix[key]["harmed"];
        }
        ++byOutcome[kind][results[i].outcome];
    }
    kinds.push_back("all");

    const std::vector<std::string> columns = {"played", "icon",  "blank", "not attached", "refused",
                                              "refused without a box", "hang", "crash", "setup failed",
                                              "harmed", "total"};
    Print("\nOutcomes by kind (" + std::string(sizeof(void*) == 8 ? "x64" : "x86") + ")\n");
    std::string head = Padded("kind", 20);
    for (const std::string& column : columns) head += "  " + column;
    Print(head + "\n");
    for (const std::string& kind : kinds) {
        std::string row = Padded(kind, 20);
        for (const std::string& column : columns)
            row += "  " + RightAligned(std::to_string(matrix[kind][column]), column.size());
        Print(row + "\n");
    }

    Print("\nkind x outcome\n");
    for (const std::string& kind : kinds) {
        for (const auto& [outcome, count] : byOutcome[kind])
            Print("  " + Padded(kind, 20) + RightAligned(std::to_string(count), 4) + "  " + outcome + "\n");
    }

    // The slowest call of each entry point over all runs, and the file it was made for.
    std::map<std::string, std::pair<ULONGLONG, size_t>> longest;
    for (size_t i = 0; i < results.size(); ++i) {
        for (const auto& [name, call] : results[i].calls) {
            auto& slowest = longest[name];
            if (call.first && call.second >= slowest.first) slowest = {call.second, i};
        }
    }
    Print("\nLongest call of each entry point\n");
    for (const auto& [name, slowest] : longest) {
        Print("  " + Padded(name, 8) + RightAligned(std::to_string(slowest.first) + " ms", 9) + "  " +
              runs[slowest.second].label + "\n");
    }
}

int RunCorpus(const std::wstring& corpusArgument, std::optional<size_t> sample, size_t seed) {
    const std::wstring corpus = FullPath(corpusArgument);
    const std::optional<std::vector<Entry>> entries = ReadManifest(corpus);
    if (!entries || entries->empty()) {
        Print("stress_corpus: no corpus.tsv in " + Utf8(corpus) + "\n");
        return EXIT_SETUP;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring scratch = std::wstring(temp) + L"moviepane-stress-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(scratch.c_str(), nullptr);
    const std::wstring sampleMovie = corpus + L"\\sample.mp4";
    if (!CopyFileW(sampleMovie.c_str(), (scratch + L"\\locked.mp4").c_str(), FALSE) ||
        !CopyFileW(sampleMovie.c_str(), (scratch + L"\\deleted.mp4").c_str(), FALSE)) {
        Print("stress_corpus: cannot copy " + Utf8(sampleMovie) + " to " + Utf8(scratch) + "\n");
        return EXIT_SETUP;
    }

    for (const char* kept : KEPT_IN_SAMPLE) {
        const bool found = std::any_of(entries->begin(), entries->end(),
                                       [&](const Entry& entry) { return Utf8(entry.name) == kept; });
        if (!found) {
            Print("stress_corpus: the corpus lacks " + std::string(kept) + ", which every sample runs\n");
            return EXIT_SETUP;
        }
    }
    const std::vector<Run> runs = PlanRuns(*entries, corpus, scratch, sample, seed);
    Print("stress_corpus: " + std::to_string(runs.size()) + " runs from " + Utf8(corpus) + "\n");
    std::vector<Result> results;
    const ULONGLONG started = GetTickCount64();
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        // The parent's own exclusive handle: the module has to cope with a file it cannot open.
        Handle locked;
        if (run.kind == "locked")
            locked.reset(CreateFileW(run.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        Result result = RunChild(run);
        locked.reset();
        if (run.kind == "canary" && result.outcome != "played") {
            result.failed = true;
            result.notes.push_back("the canary did not play: an earlier file spoiled the next one");
        }
        std::string line = "[" + std::to_string(i + 1) + "/" + std::to_string(runs.size()) + "] " +
                           Padded(run.kind, 12) + " " + run.label + "\n      " + result.outcome;
        if (!result.detail.empty()) line += " (" + result.detail + ")";
        line += ", " + Seconds(result.milliseconds);
        for (const std::string& harm : result.harm) line += "\n      harm: " + harm;
        for (const std::string& note : result.notes) line += "\n      note: " + note;
        if (result.failed) line += "\n      FAILED";
        Print(line + "\n");
        results.push_back(std::move(result));
    }
    const ULONGLONG took = GetTickCount64() - started;
    DeleteFileW((scratch + L"\\locked.mp4").c_str());
    DeleteFileW((scratch + L"\\deleted.mp4").c_str());
    RemoveDirectoryW(scratch.c_str());

    PrintTables(runs, results);
    std::vector<std::string> failures;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (results[i].failed) failures.push_back(runs[i].kind + " " + runs[i].label + ": " + results[i].outcome);
    }
    Print("\n" + std::to_string(runs.size()) + " runs in " + Seconds(took) + "; " + std::to_string(failures.size()) +
          " failed\n");
    for (const std::string& failure : failures) Print("  " + failure + "\n");
    return failures.empty() ? 0 : EXIT_HURT;
}

std::optional<size_t> Count(const wchar_t* text) {
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end == text || *end != L'\0') return std::nullopt;
    return static_cast<size_t>(value);
}

int Usage() {
    Print("usage: stress_corpus.exe CORPUS_DIR [--sample N] [--seed S]\n"
          "       stress_corpus.exe --one PATH [--special deleted]\n");
    return EXIT_SETUP;
}

}  // namespace

int main() {
    int count = 0;
    const ArgumentList arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!arguments || count < 2) return Usage();
    LPWSTR* arg = arguments.get();
    if (std::wcscmp(arg[1], L"--one") == 0) {
        if (count == 3) return RunOne(arg[2], L"");
        if (count == 5 && std::wcscmp(arg[3], L"--special") == 0) return RunOne(arg[2], arg[4]);
        return Usage();
    }
    std::optional<size_t> sample;
    size_t seed = 0;
    for (int i = 2; i < count; i += 2) {
        const bool hasValue = i + 1 < count;
        std::optional<size_t> value = hasValue ? Count(arg[i + 1]) : std::nullopt;
        if (!value) return Usage();
        if (std::wcscmp(arg[i], L"--sample") == 0) {
            sample = value;
        } else if (std::wcscmp(arg[i], L"--seed") == 0) {
            seed = *value;
        } else {
            return Usage();
        }
    }
    return RunCorpus(arg[1], sample, seed);
}
