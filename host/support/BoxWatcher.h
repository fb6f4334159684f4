#pragma once
// The user in front of the module's boxes: a thread of its own finds the dialog boxes of this
// process, reads them and presses OK.

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A dialog box (#32770) of this process, as read before it was dismissed.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};

// A window's caption, or a control's text.
std::wstring WindowText(HWND window);
// Reads the text of a dialog box's message (static control 0xFFFF).
std::wstring BoxText(HWND box);
// Top-level windows of this process with the given class name, visible or not.
std::vector<HWND> ProcessWindows(const wchar_t* className);

class BoxWatcher {
public:
    // Every box, dismissed after dismissAfterMs (to test what happens while one is open).
    explicit BoxWatcher(DWORD dismissAfterMs = 0);
    // Only the boxes with this caption (all when null); onBox runs on the watcher's thread for
    // each before it is dismissed.
    BoxWatcher(const wchar_t* caption, std::function<void(const SeenBox&)> onBox);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<SeenBox> Seen() const;
    // Waits (pumping this thread's messages) until count boxes were seen.
    bool WaitFor(size_t count, DWORD timeoutMs);

private:
    void Run();

    const DWORD dismissAfterMs_;
    const std::wstring caption_;
    const std::function<void(const SeenBox&)> onBox_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::vector<HWND> handled_;
    std::thread thread_;
};
