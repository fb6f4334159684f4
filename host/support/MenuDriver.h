#pragma once
// Drives this process's popup menu from another thread, as a user at the keyboard would:
// waits for it to open, reads its items, then picks one with the arrow keys and Enter, or
// dismisses it with Escape.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

struct SeenMenuItem {
    UINT id = 0;
    std::wstring text;
    bool checked = false;
};

struct SeenMenu {
    bool shown = false;
    RECT bounds{};
    std::vector<SeenMenuItem> items;

    std::vector<std::wstring> Texts() const;
    const SeenMenuItem* Find(const std::wstring& text) const;
};

// Watches from its construction until Result(): make it before the call that may open a menu,
// and read the result once the call has returned, so that no menu is ever left open.
class MenuDriver {
public:
    // choose: the text of the item to pick; empty, or not in the menu, dismisses it.
    explicit MenuDriver(std::wstring choose);
    ~MenuDriver();
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;

    // Stops watching; what the menu held, if one was shown.
    SeenMenu Result();

private:
    void Run();
    void Handle(HWND window);

    std::wstring choose_;
    std::atomic<bool> stop_{false};
    SeenMenu seen_;
    std::thread thread_;
};
