#include "errors/ErrorBox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

struct SeenBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
};

BOOL CALLBACK PickOwnDialog(HWND window, LPARAM param) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId != GetCurrentProcessId() || std::wstring(className) != L"#32770" || !IsWindowVisible(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

HWND FindOwnDialog() {
    HWND found = nullptr;
    EnumWindows(PickOwnDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for the box on another thread, reads it and presses OK, as a user would.
SeenBox DismissBoxWhenShown() {
    SeenBox seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    HWND box = nullptr;
    while (!(box = FindOwnDialog()) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!box) {
        return seen;
    }
    seen.found = true;
    wchar_t buffer[ERROR_MESSAGE_CHARS + 16] = {};
    GetWindowTextW(box, buffer, ERROR_MESSAGE_CHARS + 16);
    seen.caption = buffer;
    GetDlgItemTextW(box, 0xFFFF, buffer, ERROR_MESSAGE_CHARS + 16);
    seen.text = buffer;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return seen;
}

TEST(ShowErrorBox, ShowsTheFormattedMessageUntilDismissed) {
    SeenBox seen;
    std::thread dismisser([&seen] { seen = DismissBoxWhenShown(); });
    ShowErrorBox(static_cast<HRESULT>(0xC00D36B0), L"C:\\Movies\\holiday.mp4");
    dismisser.join();

    ASSERT_TRUE(seen.found) << "no message box appeared";
    EXPECT_EQ(seen.caption, L"ExtViewMF");
    EXPECT_EQ(seen.text, L"C:\\Movies\\holiday.mp4\nPlatform not initialized. Please call MFStartup().");

    std::thread second([&seen] { seen = DismissBoxWhenShown(); });
    ShowErrorBox(static_cast<HRESULT>(0xC00D36BB), L"C:\\Movies\\phone.mov",
                 L"The video is HEVC (H.265) Main 10, 10-bit, which this system cannot decode.");
    second.join();
    ASSERT_TRUE(seen.found) << "no message box appeared";
    EXPECT_EQ(seen.text, L"C:\\Movies\\phone.mov\nAn unexpected error has occurred in the operation requested.\n"
                         L"The video is HEVC (H.265) Main 10, 10-bit, which this system cannot decode.");
}

}  // namespace
