#include "MenuDriver.h"

#include "BoxWatcher.h"

#include <algorithm>

namespace {

constexpr UINT MN_GETHMENU_MESSAGE = 0x01E1;

HWND FindOpenMenu() {
    for (HWND window : ProcessWindows(L"#32768")) {
        if (IsWindowVisible(window)) return window;
    }
    return nullptr;
}

void PostKey(HWND window, UINT key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

}  // namespace

std::vector<std::wstring> SeenMenu::Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& item : items) texts.push_back(item.text);
    return texts;
}

const SeenMenuItem* SeenMenu::Find(const std::wstring& text) const {
    const auto found = std::find_if(items.begin(), items.end(), [&](const SeenMenuItem& item) { return item.text == text; });
    return found == items.end() ? nullptr : &*found;
}

MenuDriver::MenuDriver(std::wstring choose) : choose_(std::move(choose)), thread_([this] { Run(); }) {}

MenuDriver::~MenuDriver() { Result(); }

SeenMenu MenuDriver::Result() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void MenuDriver::Run() {
    while (!stop_) {
        if (HWND window = FindOpenMenu()) {
            Handle(window);
            return;
        }
        Sleep(10);
    }
}

void MenuDriver::Handle(HWND window) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, MN_GETHMENU_MESSAGE, 0, 0, SMTO_NORMAL, 5000, &result);
    const auto menu = reinterpret_cast<HMENU>(result);
    seen_.shown = true;
    GetWindowRect(window, &seen_.bounds);
    const int count = menu ? GetMenuItemCount(menu) : 0;
    for (int index = 0; index < count; ++index) {
        SeenMenuItem item;
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(index), text, 128, MF_BYPOSITION);
        item.id = GetMenuItemID(menu, index);
        item.text = text;
        item.checked = (GetMenuState(menu, static_cast<UINT>(index), MF_BYPOSITION) & MF_CHECKED) != 0;
        seen_.items.push_back(item);
    }

    const auto texts = seen_.Texts();
    const auto chosen = std::find(texts.begin(), texts.end(), choose_);
    if (choose_.empty() || chosen == texts.end()) {
        PostKey(window, VK_ESCAPE);
        return;
    }
    // Nothing is selected when the menu opens: the first Down selects the first item.
    for (auto index = chosen - texts.begin(); index >= 0; --index) PostKey(window, VK_DOWN);
    PostKey(window, VK_RETURN);
}
