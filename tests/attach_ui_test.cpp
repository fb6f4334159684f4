#include "common/RunsOnWine.h"
#include "module/ExtViewModuleInfo.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "AttachFixture.h"
#include "FakeSession.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

bool Layered(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

struct IconHeader {
    bool found = false;
    BITMAPINFOHEADER header{};
};

// The colour bitmap header of the file type's shell icon, read independently of the viewer.
IconHeader ShellIconHeader(const std::wstring& path) {
    IconHeader result;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ICON) || !info.hIcon) return result;
    ICONINFO parts{};
    if (GetIconInfo(info.hIcon, &parts)) {
        BITMAPINFO bitmap{};
        bitmap.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        const HDC screen = GetDC(nullptr);
        result.found = GetDIBits(screen, parts.hbmColor, 0, 0, nullptr, &bitmap, DIB_RGB_COLORS) != 0;
        ReleaseDC(nullptr, screen);
        result.header = bitmap.bmiHeader;
        DeleteObject(parts.hbmColor);
        DeleteObject(parts.hbmMask);
    }
    DestroyIcon(info.hIcon);
    return result;
}

// Files of the Linux /proc, which Wine shows on drive Z:, report a size of 0: read to the end.
std::string ReadProcFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

// The names of the Linux threads of the process whose /proc folder, on drive Z:, is folder.
std::vector<std::string> ThreadNamesOf(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE tasks = FindFirstFileW((folder + L"\\task\\*").c_str(), &found);
    if (tasks == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.cFileName[0] == L'.') continue;
        std::string name = ReadProcFile(folder + L"\\task\\" + found.cFileName + L"\\comm");
        if (!name.empty() && name.back() == '\n') name.pop_back();
        names.push_back(name);
    } while (FindNextFileW(tasks, &found));
    FindClose(tasks);
    return names;
}

// The names of this process's Linux threads. Under Wine /proc/self can answer for another
// process, and a 32-bit program's command line need not hold its path: the process is the one
// among those that name this program where this thread goes by a name given to it here.
std::vector<std::string> LinuxThreadNames() {
    using Describe = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const auto describe = reinterpret_cast<Describe>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (!describe) return {};
    const std::string marker = "attach-" + std::to_string(GetCurrentProcessId());
    describe(GetCurrentThread(), std::wstring(marker.begin(), marker.end()).c_str());
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const wchar_t* const slash = wcsrchr(program, L'\\');
    const std::wstring fileName = slash ? slash + 1 : program;
    const std::string programName(fileName.begin(), fileName.end());

    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE processes = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (processes != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring folder = L"Z:\\proc\\" + std::wstring(found.cFileName);
            if (std::wstring(found.cFileName).find_first_not_of(L"0123456789") != std::wstring::npos) continue;
            if (ReadProcFile(folder + L"\\cmdline").find(programName) == std::string::npos) continue;
            std::vector<std::string> threads = ThreadNamesOf(folder);
            if (std::find(threads.begin(), threads.end(), marker) == threads.end()) continue;
            names = std::move(threads);
            break;
        } while (FindNextFileW(processes, &found));
        FindClose(processes);
    }
    describe(GetCurrentThread(), L"");
    return names;
}

TEST_F(AttachTest, WithoutAnOpenFileNothingIsCreated) {
    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    EXPECT_TRUE(Children(host.pane()).empty());
    EXPECT_FALSE(viewer.panel);
    EXPECT_EQ(viewer.hostWindow, nullptr);
}

TEST_F(AttachTest, MovieStartsPlayingInTheWindow) {
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(viewer.panel);
    EXPECT_EQ(viewer.hostWindow, host.pane());
    EXPECT_EQ(viewer.player->VideoWindow(), host.pane());
    EXPECT_EQ(viewer.player->EventWindow(), host.pane());
    EXPECT_EQ(Children(host.pane()).size(), 3u);
    EXPECT_EQ(WindowText(viewer.panel->playButton), L"||");
    EXPECT_EQ(SendMessageW(viewer.panel->seekBar, PBM_GETPOS, 0, 0), 0);
    PBRANGE range{-1, -1};
    SendMessageW(viewer.panel->seekBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 65535);
    for (HWND control : {viewer.panel->playButton, viewer.panel->stopButton, viewer.panel->seekBar}) {
        EXPECT_TRUE(Layered(control));
    }
    EXPECT_FALSE(viewer.panel->showAlways);
    EXPECT_FALSE(viewer.fileIcon);

    EXPECT_TRUE(WaitForState(PlayerState::Started)) << "state " << static_cast<int>(viewer.player->State());
    const std::vector<UINT> received = host.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), WM_PLAYER_EVENT), received.end())
        << "the session's events come through the window";

    int32_t size[2] = {-1, -1};
    ASSERT_EQ(Query(WM_EXTVIEW_GET_IMAGE_SIZE, size), 0);
    EXPECT_EQ(size[0], 320);
    EXPECT_EQ(size[1], 240);
    int32_t bits = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_BIT_DEPTH, &bits), 0);
    EXPECT_EQ(bits, 0);
    int32_t duration = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_DURATION, &duration), 0);
    EXPECT_EQ(duration, 5000);

    host.ClearReceived();
    EXPECT_TRUE(PumpUntil([&] { return host.CountReceived(WM_TIMER, REFRESH_TIMER_ID) > 0; }, 1000));
}

// Under Wine 10 the platform's H.264 decoder, given more than one thread, now and then ends the
// process on a movie whose coded frame is larger than its picture. Its extra threads are named
// after the codec.
TEST_F(AttachTest, PlatformDecodesOnOneThreadUnderWine) {
    if (!RunsOnWine()) GTEST_SKIP() << "Windows decodes as it sees fit";
    DWORD_PTR before = 0;
    DWORD_PTR after = 0;
    DWORD_PTR system = 0;
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &before, &system));
    Open(L"wide-854x480.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));
    ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &after, &system));
    EXPECT_EQ(after, before) << "the host keeps all its CPUs";
    const std::vector<std::string> threads = LinuxThreadNames();
    ASSERT_FALSE(threads.empty()) << "the process's Linux threads are not to be found";
    for (const std::string& name : threads) EXPECT_NE(name.rfind("av:h264:", 0), 0u) << name;
}

TEST_F(AttachTest, AttachingAgainOnlyRebuildsThePanel) {
    Open(L"sample.mp4");
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_TRUE(WaitForState(PlayerState::Started));
    const std::vector<HWND> first = Children(host.pane());
    const UIPanel* firstPanel = viewer.panel.get();

    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    for (HWND window : first) EXPECT_FALSE(IsWindow(window));
    ASSERT_TRUE(viewer.panel);
    EXPECT_NE(viewer.panel.get(), firstPanel);
    EXPECT_EQ(Children(host.pane()).size(), 3u);
    EXPECT_EQ(WindowText(viewer.panel->playButton), L">");
    EXPECT_FALSE(Layered(viewer.panel->playButton));

    EXPECT_EQ(viewer.hostWindow, host.pane());
    host.ClearReceived();
    EXPECT_TRUE(PumpUntil([&] { return host.CountReceived(WM_TIMER, REFRESH_TIMER_ID) > 0; }, 1000));
    EXPECT_EQ(viewer.player->State(), PlayerState::Started);
    int32_t position = -1;
    EXPECT_EQ(Query(WM_EXTVIEW_GET_POSITION, &position), 0);
    EXPECT_GT(position, 0);
}

TEST_F(AttachTest, AudioOnlyFileIsShownAsItsShellIcon) {
    Open(L"audio-only.mp4");
    const IconHeader icon = ShellIconHeader(MediaPath(L"audio-only.mp4"));
    ASSERT_TRUE(icon.found) << "the shell gives no icon for the file";

    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    EXPECT_FALSE(viewer.player->HasVideoDisplay());
    EXPECT_TRUE(viewer.fileIcon);
    int32_t size[2] = {-1, -1};
    ASSERT_EQ(Query(WM_EXTVIEW_GET_IMAGE_SIZE, size), 0);
    EXPECT_EQ(size[0], icon.header.biWidth);
    EXPECT_EQ(size[1], icon.header.biHeight);
    int32_t bits = -1;
    ASSERT_EQ(Query(WM_EXTVIEW_GET_BIT_DEPTH, &bits), 0);
    EXPECT_EQ(bits, icon.header.biBitCount);

    EXPECT_TRUE(viewer.panel->showAlways);
    for (HWND control : {viewer.panel->playButton, viewer.panel->stopButton, viewer.panel->seekBar}) {
        EXPECT_FALSE(Layered(control));
    }
    EXPECT_TRUE(WaitForState(PlayerState::Started));
}

TEST_F(AttachTest, SessionThatNeverReportsIsGivenUpInTime) {
    viewer.openWaitLimitMs = 1000;
    Open(L"sample.mp4");
    const ComPtr<FakeSession> fake = ReplaceSession();

    const ULONGLONG before = GetTickCount64();
    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    const ULONGLONG waited = GetTickCount64() - before;
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    EXPECT_EQ(viewer.player->State(), PlayerState::Closing);
    EXPECT_EQ(viewer.player->EventWindow(), nullptr);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_FALSE(KillTimer(host.pane(), REFRESH_TIMER_ID));

    const ULONGLONG closing = GetTickCount64();
    viewer.Reset();
    EXPECT_LT(GetTickCount64() - closing, 1000u);
    EXPECT_TRUE(Children(host.pane()).empty());
}

TEST_F(AttachTest, RefusedTopologyLeavesThePlayerClosed) {
    Open(L"sample.mp4");
    const ComPtr<FakeSession> fake = ReplaceSession();
    fake->setTopologyResult = E_FAIL;

    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    EXPECT_EQ(fake->CallNames(), std::vector<std::string>{"SetTopology"});
    EXPECT_EQ(viewer.player->State(), PlayerState::Closed);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_EQ(viewer.player->EventWindow(), nullptr);
    EXPECT_FALSE(KillTimer(host.pane(), REFRESH_TIMER_ID));
    ASSERT_TRUE(viewer.panel);
    EXPECT_EQ(Children(host.pane()).size(), 3u) << "the new panel stays";
}

}  // namespace
