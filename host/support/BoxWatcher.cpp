#include "host/support/BoxWatcher.h"

#include "host/support/MessagePump.h"

#include <algorithm>
#include <cwchar>

std::wstring BoxText(HWND box) {
    wchar_t text[2048] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    return text;
}

namespace {

struct WindowSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process == GetCurrentProcessId() && std::wcscmp(name, search->className) == 0) search->found.push_back(window);
    return TRUE;
}

}  // namespace

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::vector<HWND> ProcessWindows(const wchar_t* className) {
    WindowSearch search{className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BoxWatcher::BoxWatcher(DWORD dismissAfterMs) : dismissAfterMs_(dismissAfterMs), thread_([this] { Run(); }) {}

BoxWatcher::BoxWatcher(const wchar_t* caption, std::function<void(const SeenBox&)> onBox)
    : dismissAfterMs_(0), caption_(caption ? caption : L""), onBox_(std::move(onBox)), thread_([this] { Run(); }) {}

BoxWatcher::~BoxWatcher() {
    stop_ = true;
    thread_.join();
}

void BoxWatcher::Run() {
    while (!stop_) {
        for (HWND box : ProcessWindows(L"#32770")) {
            if (!IsWindowVisible(box)) continue;
            if (!caption_.empty() && WindowText(box) != caption_) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (std::find(handled_.begin(), handled_.end(), box) != handled_.end()) continue;
            }
            Sleep(dismissAfterMs_ ? dismissAfterMs_ : 20);
            SeenBox seen;
            seen.caption = WindowText(box);
            seen.text = BoxText(box);
            seen.owner = GetWindow(box, GW_OWNER);
            if (onBox_) onBox_(seen);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                handled_.push_back(box);
                seen_.push_back(seen);
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(10);
    }
}

std::vector<SeenBox> BoxWatcher::Seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool BoxWatcher::WaitFor(size_t count, DWORD timeoutMs) {
    return PumpUntil([&] { return Seen().size() >= count; }, timeoutMs);
}
