#include "HostProcess.h"

#include "ChildReport.h"
#include "Text.h"

#include "host/support/BoxWatcher.h"
#include "host/support/CallWatch.h"
#include "host/support/HostWindows.h"
#include "host/support/HostedViewer.h"
#include "host/support/LoadedModule.h"
#include "host/support/MenuDriver.h"
#include "host/support/MessagePump.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

// What the module posts and sets on the host window, as a host sees it.
constexpr UINT MODULE_PLAYER_EVENT = WM_APP + 1;
constexpr UINT_PTR MODULE_REFRESH_TIMER = 999;
constexpr int PLAY_BUTTON = 1;
constexpr int STOP_BUTTON = 2;
constexpr int SEEK_BAR = 3;
constexpr wchar_t PROPERTIES_ITEM[] = L"Properties";
constexpr POINT RIGHT_CLICK_AT{120, 90};

constexpr DWORD PLAY_MS = 1000;
constexpr DWORD BRIEF_PLAY_MS = 1000;
constexpr DWORD START_LIMIT_MS = 10000;
constexpr DWORD AFTER_CLICK_MS = 300;
constexpr DWORD AFTER_DESTROY_MS = 300;
constexpr DWORD WATCH_PERIOD_MS = 100;
constexpr ULONGLONG SLOW_CALL_MS = 5000;
constexpr int PANE_WIDTH = 640;
constexpr int PANE_HEIGHT = 480;
constexpr wchar_t FRAME_CLASS[] = L"StressCorpusFrame";
constexpr wchar_t PANE_CLASS[] = L"StressCorpusPane";

// "properties": the right click that opens the menu, through the report's box, apart from the
// host's other messages.
const char* const ENTRY_POINTS[] = {"create", "open", "attach", "draw", "message", "properties", "destroy"};

// Tells the runner about every call that goes on for long, each time another SLOW_CALL_MS has
// passed: this names the culprit if the runner has to give up on this process.
void ReportSlowCalls(std::vector<CallWatch::Call>& calls) {
    const ULONGLONG now = GetTickCount64();
    for (CallWatch::Call& call : calls) {
        if (now - call.start < SLOW_CALL_MS * static_cast<ULONGLONG>(call.warnings + 1)) continue;
        ReportLine(std::string("slow\t") + call.name + "\t" + std::to_string(now - call.start));
        ++call.warnings;
    }
}

// "calls\tcreate 1 0\t..." : each entry point, its calls and its longest call in milliseconds.
std::string Summary(const CallWatch& watch) {
    const std::map<std::string, CallWatch::Times> times = watch.AllTimes();
    std::string out = "calls";
    for (const char* name : ENTRY_POINTS) {
        const auto found = times.find(name);
        const CallWatch::Times of = found == times.end() ? CallWatch::Times{} : found->second;
        out += "\t" + std::string(name) + " " + std::to_string(of.count) + " " + std::to_string(of.longest);
    }
    return out;
}

// The module as a host drives it: every call goes through the watch.
class Module {
public:
    Module(const ExtViewModuleInfo& info, CallWatch& watch) : viewer_(info), watch_(watch) {}

    bool Create() {
        return Timed("create", [&] { return viewer_.Create(); });
    }
    bool Open(const std::wstring& path) {
        return Timed("open", [&] { return viewer_.Open(path); });
    }
    bool Attach(HWND window) {
        return Timed("attach", [&] { return viewer_.Attach(window); });
    }
    void Draw(HDC dc, const RECT& source, const RECT& destination) {
        Watched(watch_, "draw", [&] { viewer_.Draw(dc, source, destination); });
    }
    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam) {
        return Timed("message", [&] { return viewer_.Message(message, wParam, lParam); });
    }
    // Picks the report from the context menu; the box watcher closes its box.
    bool Properties() {
        MenuDriver driver(PROPERTIES_ITEM);
        Timed("properties", [&] {
            return viewer_.Message(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(RIGHT_CLICK_AT.x, RIGHT_CLICK_AT.y));
        });
        const SeenMenu menu = driver.Result();
        return menu.shown && menu.Find(PROPERTIES_ITEM);
    }
    void Destroy() {
        Watched(watch_, "destroy", [&] { viewer_.Destroy(); });
    }
    bool Alive() const { return viewer_.handle() != nullptr; }

private:
    // An entry point that answers, timed.
    template <typename Call>
    auto Timed(const char* name, Call&& call) -> decltype(call()) {
        watch_.Enter(name);
        const auto result = call();
        watch_.Leave();
        return result;
    }

    HostedViewer viewer_;
    CallWatch& watch_;
};

// A frame with a child pane, as in a file manager. The pane hands every message to the module
// while a viewer lives, paints through draw, and notices what arrives after the viewer is gone.
class HostWindow {
public:
    HostWindow() {
        static const bool registered =
            RegisterWindowClass(FRAME_CLASS, DefWindowProcW) &&
            RegisterWindowClass(PANE_CLASS, PaneProc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        if (!registered) return;
        frame_ = CreateFrame(FRAME_CLASS, L"stress_corpus", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, PANE_WIDTH,
                             PANE_HEIGHT);
        pane_ = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, PANE_WIDTH,
                                PANE_HEIGHT, frame_, nullptr, GetModuleHandleW(nullptr), this);
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
        auto* host = OwnerOf<HostWindow>(window, message, lParam);
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

// A click half-way along the seek bar, as a user's.
bool Seek(HWND pane) {
    const HWND bar = GetDlgItem(pane, SEEK_BAR);
    if (!bar) return false;
    RECT client{};
    GetClientRect(bar, &client);
    const LPARAM middle = MAKELPARAM(client.right / 2, client.bottom / 2);
    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(bar, WM_LBUTTONUP, 0, middle);
    return true;
}

size_t ErrorBoxes(const BoxWatcher& boxes) {
    const std::vector<SeenBox> seen = boxes.Seen();
    return static_cast<size_t>(std::count_if(seen.begin(), seen.end(),
                                             [](const SeenBox& box) { return box.caption != PROPERTIES_ITEM; }));
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

}  // namespace

int RunOne(const std::wstring& path, const std::wstring& special) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ReportCrashes(GetCurrentThreadId());

    const LoadedModule library;
    const ExtViewModuleInfo* info = library.info();
    if (!info) {
        ReportLine("setup\tmoviepane.dll is missing beside this program or is not a viewer module");
        return EXIT_SETUP;
    }
    std::string outcome;
    {
        CallWatch timer(WATCH_PERIOD_MS, ReportSlowCalls);
        const CrashNamesCall naming(timer);
        const BoxWatcher boxes(nullptr, [](const SeenBox& box) {
            const char* tag = box.caption == PROPERTIES_ITEM ? "properties\t" : "box\t";
            ReportLine(tag + OneLine(box.caption) + "\t" + OneLine(box.text));
        });
        HostWindow host;
        if (!host.pane()) {
            ReportLine("setup\tthe host window could not be made");
            return EXIT_SETUP;
        }
        Module module(*info, timer);
        if (!module.Create()) {
            ReportLine("setup\tcreate gave no viewer");
            return EXIT_SETUP;
        }
        host.SetModule(&module);
        const bool opened = module.Open(path);
        const bool attached = opened && module.Attach(host.pane());
        if (attached) {
            outcome = AttachedOutcome(module);
        } else if (opened) {
            outcome = "not attached\t";
        }
        if (opened && special == L"deleted") {
            const bool deleted = DeleteFileW(path.c_str());
            ReportLine(deleted ? "note\tdeleted while playing"
                               : "note\tcould not be deleted while playing (error " + std::to_string(GetLastError()) +
                                     ")");
        }
        if (opened && special == L"brief") {
            PumpMessages(BRIEF_PLAY_MS);
            // A movie whose session never starts shows nothing and answers no position.
            const bool moved = PumpUntil(
                [&] {
                    int32_t position = 0;
                    return module.Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0 &&
                           position > 0;
                },
                START_LIMIT_MS);
            if (!moved && outcome.rfind("played\t", 0) == 0) outcome = "still\t" + outcome.substr(7);
        } else if (opened) {
            PumpMessages(PLAY_MS);
            if (!Seek(host.pane())) ReportLine("note\tno seek bar in the pane");
            PumpMessages(PLAY_MS);
            const bool paused = Click(host.pane(), PLAY_BUTTON);
            PumpMessages(AFTER_CLICK_MS);
            const bool stopped = Click(host.pane(), STOP_BUTTON);
            PumpMessages(AFTER_CLICK_MS);
            if (!paused || !stopped || host.clicks != 2)
                ReportLine("note\t" + std::to_string(host.clicks) + " of 2 button clicks reached the pane");
        }
        if (attached) {
            // The report's box is modal: it has come and gone once the click returns.
            const size_t seen = boxes.Seen().size();
            if (!module.Properties()) {
                ReportLine("note\tthe right click showed no menu with the report");
            } else if (boxes.Seen().size() == seen) {
                ReportLine("note\tthe report's box did not show");
            }
        }
        const size_t boxesBeforeDestroy = ErrorBoxes(boxes);
        module.Destroy();
        PumpMessages(AFTER_DESTROY_MS);

        if (!opened) outcome = boxesBeforeDestroy ? "refused\t" : "no box\t";
        if (opened && boxesBeforeDestroy) ReportLine("harm\ta message box although open succeeded");
        if (ErrorBoxes(boxes) != boxesBeforeDestroy) ReportLine("harm\ta message box after destroy");
        if (const int left = CountChildren(host.pane()))
            ReportLine("harm\t" + std::to_string(left) + " windows left in the pane after destroy");
        if (host.lateEvents)
            ReportLine("harm\t" + std::to_string(host.lateEvents) + " session events reached the pane after destroy");
        if (host.lateTicks) ReportLine("harm\tthe refresh timer went on after destroy");
        ReportLine(Summary(timer));
    }
    ReportLine("outcome\t" + outcome);
    return 0;
}
