// Opening files in a viewer: what the user is shown when a file cannot be opened, what a
// viewer holds afterwards, and how a new open tears down what the previous one left.

#include "errors/ErrorBox.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "PlayerTestSupport.h"
#include "PlayingViewer.h"
#include "TestSupport.h"

#include "common/Owned.h"
#include "host/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mfidl.h>
#include <shellapi.h>
#include <wrl/client.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// The status the platform's resolver gives for a path, asked independently of the viewer.
HRESULT ResolverStatus(const std::wstring& path) {
    HRESULT hr = MFStartup(MF_VERSION, MFSTARTUP_FULL);
    if (FAILED(hr)) return hr;
    {
        ComPtr<IMFSourceResolver> resolver;
        ComPtr<IUnknown> object;
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        hr = MFCreateSourceResolver(&resolver);
        if (SUCCEEDED(hr)) {
            hr = resolver->CreateObjectFromURL(path.c_str(), MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object);
        }
        ComPtr<IMFMediaSource> source;
        if (SUCCEEDED(hr)) hr = object.As(&source);
        if (source) source->Shutdown();
    }
    MFShutdown();
    return hr;
}

std::wstring ExpectedText(HRESULT status, const std::wstring& path) {
    wchar_t message[ERROR_MESSAGE_CHARS];
    FormatErrorMessage(status, path.c_str(), message);
    return message;
}

struct Opened {
    INT_PTR result = 0;
    std::vector<SeenBox> boxes;
};

// Opens with a watcher that reads and dismisses any box; a box keeps open from returning until
// it is dismissed, so every box open showed has been seen when it returns.
Opened OpenWatched(ExtViewMF& viewer, const std::wstring& path) {
    BoxWatcher watcher;
    Opened opened;
    opened.result = viewer.Open(path.c_str());
    opened.boxes = watcher.Seen();
    return opened;
}

bool TimerTicked(const HostWindow& host) { return host.CountReceived(WM_TIMER, REFRESH_TIMER_ID) > 0; }

void ExpectUnattached(const ExtViewMF& viewer, const HostWindow& host) {
    EXPECT_EQ(viewer.panel, nullptr);
    EXPECT_EQ(viewer.hostWindow, nullptr);
    EXPECT_EQ(viewer.imageWidth, 0);
    EXPECT_EQ(viewer.imageHeight, 0);
    EXPECT_EQ(GetWindow(host.pane(), GW_CHILD), nullptr) << "child windows left in the pane";
}

// Runs first, while nothing in this program has started Media Foundation: objects of the
// platform that other tests made may hold it for a while after they are released.
TEST(Open, ResetOfAnEmptyViewerLeavesThePlatformAlone) {
    ASSERT_FALSE(PlatformRunning());
    {
        ExtViewMF viewer;
        viewer.Reset();
        viewer.Reset();
    }
    EXPECT_FALSE(PlatformRunning()) << "an empty viewer started Media Foundation";

    // Someone else's start must survive empty viewers: they have nothing to shut down.
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    {
        ExtViewMF viewer;
        viewer.Reset();
    }
    EXPECT_TRUE(PlatformRunning()) << "an empty viewer shut Media Foundation down";
    MFShutdown();
    EXPECT_FALSE(PlatformRunning());
}

// A copy of a test movie under another name in the media folder, made anew.
std::wstring CopyOfMedia(const wchar_t* media, const std::wstring& name) {
    const std::wstring copy = MediaPath(name.c_str());
    EXPECT_TRUE(CopyFileW(MediaPath(media).c_str(), copy.c_str(), FALSE)) << Narrow(copy);
    return copy;
}

TEST(Open, FilesThatCannotBeOpenedAreReportedInTheBox) {
    // A file another program holds without sharing it.
    const std::wstring locked = CopyOfMedia(L"sample.mp4", L"locked.mp4");
    const Owned<HANDLE, CloseHandle> lock(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(lock.get(), INVALID_HANDLE_VALUE);
    const std::wstring paths[] = {MediaPath(L"missing.mp4"), MediaPath(L"missing\\sample.mp4"), BuildDir() + L"\\media",
                                  L"", MediaPath(L"text.mp4"), MediaPath(L"empty.mp4"), locked};
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(Narrow(L"path \"" + path + L"\""));
        const HRESULT status = ResolverStatus(path);
        ASSERT_TRUE(FAILED(status)) << "the platform opens this file";

        ExtViewMF viewer;
        const Opened opened = OpenWatched(viewer, path);
        EXPECT_EQ(opened.result, -1);
        ASSERT_EQ(opened.boxes.size(), 1u);
        const SeenBox& box = opened.boxes[0];
        EXPECT_EQ(box.caption, L"ExtViewMF");
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text.compare(0, path.size() + 1, path + L"\n"), 0) << Narrow(box.text);
        EXPECT_GT(box.text.size(), path.size() + 1) << "no description";
        EXPECT_EQ(box.text, ExpectedText(status, path));

        EXPECT_EQ(viewer.filePath, nullptr);
        ASSERT_NE(viewer.player, nullptr);
        EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
        EXPECT_NE(viewer.player->session, nullptr);
        EXPECT_EQ(viewer.player->source, nullptr);
    }
}

TEST(Open, MoviesOpenWithoutABoxAndKeepTheirOwnCopyOfThePath) {
    for (const wchar_t* name : {L"sample.mp4", L"sample.mov", L"rotate-90.mov"}) {
        SCOPED_TRACE(Narrow(name));
        std::wstring path = MediaPath(name);
        const std::wstring original = path;

        ExtViewMF viewer;
        const Opened opened = OpenWatched(viewer, path);
        EXPECT_EQ(opened.result, 0);
        EXPECT_TRUE(opened.boxes.empty());
        ASSERT_NE(viewer.player, nullptr);
        EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
        EXPECT_NE(viewer.player->session, nullptr);
        EXPECT_NE(viewer.player->source, nullptr);
        ASSERT_NE(viewer.filePath, nullptr);
        EXPECT_NE(viewer.filePath.get(), path.c_str());
        path.assign(path.size(), L'?');
        EXPECT_EQ(std::wstring(viewer.filePath.get()), original);
        EXPECT_EQ(viewer.panel, nullptr);
        EXPECT_EQ(viewer.hostWindow, nullptr);

        // What the file says of itself, read through the viewer's own handle.
        EXPECT_TRUE(viewer.movieFacts.video.found);
        EXPECT_EQ(viewer.movieFacts.video.storedWidth, 320u);
        EXPECT_EQ(viewer.movieFacts.video.rotationClockwise, name == std::wstring(L"rotate-90.mov") ? 90 : 0);
    }
}

// The file operations another program makes on a shown file, for the test below.
bool Succeeds(const std::wstring& operation, const std::wstring& path, const std::wstring& target = L"") {
    const ChildRun run =
        RunThisProgramAgain(L"--file-op " + operation + L" \"" + path + L"\" \"" + target + L"\"", 20000, false);
    const int code = run.startFailure.empty() && !run.timedOut ? static_cast<int>(run.exitCode) : -1;
    EXPECT_EQ(code, 0) << Narrow(operation) << " of " << Narrow(path) << " failed with error " << code;
    return code == 0;
}

// In that program, before the tests run: one operation, its Win32 error as the exit code.
const bool fileOperationDone = [] {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args || count != 5 || wcscmp(args[1], L"--file-op") != 0) {
        LocalFree(args);
        return false;
    }
    const std::wstring operation = args[2];
    BOOL done = FALSE;
    if (operation == L"write") {
        // As a program re-saving the file opens it: for writing, letting others read on.
        const HANDLE file = CreateFileW(args[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        done = file != INVALID_HANDLE_VALUE;
        if (done) CloseHandle(file);
    } else if (operation == L"move") {
        done = MoveFileExW(args[3], args[4], 0);
    } else if (operation == L"delete") {
        done = DeleteFileW(args[3]);
    }
    ExitProcess(done ? 0 : GetLastError());
}();

TEST(Open, TheShownFileStaysFreeForOtherPrograms) {
    const std::wstring folder = MediaPath(L"free");
    const std::wstring elsewhere = folder + L"\\elsewhere";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    const std::wstring shown = CopyOfMedia(L"sample.mp4", L"free\\shown.mp4");
    const std::wstring renamed = folder + L"\\renamed.mp4";
    const std::wstring moved = elsewhere + L"\\moved.mp4";

    PlayingViewer playing;
    ASSERT_TRUE(playing.Attach(L"free\\shown.mp4"));
    ASSERT_TRUE(playing.WaitForState(PlayerState::Started));
    EXPECT_TRUE(Succeeds(L"write", shown));
    EXPECT_TRUE(Succeeds(L"move", shown, renamed));
    EXPECT_TRUE(Succeeds(L"move", renamed, moved));
    EXPECT_TRUE(Succeeds(L"delete", moved));

    // Playback goes on, or ends: the platform may lose the file's data.
    int32_t first = 0;
    playing.QueryPosition(&first);
    EXPECT_TRUE(PumpUntil([&] {
        int32_t now = 0;
        return playing.State() != PlayerState::Started || (playing.QueryPosition(&now) == 0 && now > first + 500);
    }, 10000)) << "playback stalled in state " << static_cast<int>(playing.State());

    {
        BoxWatcher watcher;
        playing.viewer.Reset();
        EXPECT_TRUE(watcher.Seen().empty());
    }
    EXPECT_EQ(playing.viewer.player, nullptr);
    // The deleted file goes once the teardown lets go of it, which may be after destroy has returned.
    for (const std::wstring& name : {shown, renamed, moved}) {
        EXPECT_TRUE(PumpUntil([&] { return GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000))
            << Narrow(name) << " is still there";
    }
    EXPECT_TRUE(RemoveDirectoryW(elsewhere.c_str())) << "the folder the file was moved to is not empty";
    RemoveDirectoryW(folder.c_str());
}

// Destroy comes when the user moves on to the next file: the host is frozen for as long as it
// takes, whatever state the session is in.
TEST(Open, DestroyReturnsPromptlyWhilePlayingAndAfterTheEnd) {
    for (const wchar_t* media : {L"sample.mp4", L"short-48x144.mp4"}) {
        SCOPED_TRACE(Narrow(media));
        PlayingViewer playing;
        ASSERT_TRUE(playing.Attach(media));
        const PlayerState awaited = media == std::wstring(L"sample.mp4") ? PlayerState::Started : PlayerState::Stopped;
        ASSERT_TRUE(playing.WaitForState(awaited));
        ComPtr<CPlayer> player(playing.viewer.player.get());
        const ULONGLONG began = GetTickCount64();
        playing.viewer.Reset();
        // Far below the session's own close bound: destroy does not wait for the session. How
        // quick it is on an idle machine is the bench's figure.
        EXPECT_LT(GetTickCount64() - began, 1000u);
        EXPECT_TRUE(WaitForTeardown(player.Get()));
    }
}

TEST(Open, APathLongerThanTheBoxFillsItAlone) {
    std::wstring path = MediaPath(L"");
    path.append(596 - path.size(), L'x');
    path += L".mp4";
    ASSERT_EQ(path.size(), 600u);

    ExtViewMF viewer;
    const Opened opened = OpenWatched(viewer, path);
    EXPECT_EQ(opened.result, -1);
    ASSERT_EQ(opened.boxes.size(), 1u);
    EXPECT_EQ(opened.boxes[0].text, path.substr(0, ERROR_MESSAGE_CHARS - 1));
    EXPECT_EQ(viewer.filePath, nullptr);
}

TEST(Open, SecondOpenShutsTheFirstPlayerDownCompletely) {
    ExtViewMF viewer;
    ASSERT_EQ(OpenWatched(viewer, MediaPath(L"sample.mp4")).result, 0);
    CPlayer* first = viewer.player.get();
    first->AddRef();

    const std::wstring second = MediaPath(L"sample.mov");
    const Opened opened = OpenWatched(viewer, second);
    EXPECT_EQ(opened.result, 0);
    EXPECT_TRUE(opened.boxes.empty());

    EXPECT_NE(viewer.player.get(), first);
    ASSERT_TRUE(WaitForTeardown(first));
    EXPECT_EQ(first->session, nullptr);
    EXPECT_EQ(first->source, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return first->refCount == 1; }, 5000)) << "someone else still holds the first player";
    EXPECT_EQ(first->Release(), 0u);

    ASSERT_NE(viewer.player, nullptr);
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
    EXPECT_NE(viewer.player->source, nullptr);
    ASSERT_NE(viewer.filePath, nullptr);
    EXPECT_EQ(std::wstring(viewer.filePath.get()), second);
}

TEST(Open, OpenAfterAttachLeavesTheViewerUnattached) {
    ExtViewMF viewer;
    HostWindow host;
    host.SetViewer(&viewer);

    ASSERT_EQ(OpenWatched(viewer, MediaPath(L"sample.mp4")).result, 0);
    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    ASSERT_NE(viewer.panel, nullptr);
    const HWND controls[] = {viewer.panel->playButton, viewer.panel->stopButton, viewer.panel->seekBar};
    EXPECT_TRUE(PumpUntil([&] { return TimerTicked(host); }, 3000)) << "no refresh timer after attach";

    const Opened opened = OpenWatched(viewer, MediaPath(L"sample.mov"));
    EXPECT_EQ(opened.result, 0);
    EXPECT_TRUE(opened.boxes.empty());
    ExpectUnattached(viewer, host);
    for (HWND control : controls) EXPECT_FALSE(IsWindow(control)) << "a control of the first panel survived";
    host.ClearReceived();
    PumpMessages(400);
    EXPECT_FALSE(TimerTicked(host)) << "the refresh timer still runs";
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);

    ASSERT_EQ(viewer.Attach(host.pane()), 0);
    EXPECT_NE(viewer.panel, nullptr);
    EXPECT_EQ(viewer.hostWindow, host.pane());
    EXPECT_TRUE(PumpUntil([&] { return TimerTicked(host); }, 3000)) << "no refresh timer after the new attach";

    host.SetViewer(nullptr);
    viewer.Reset();
}

TEST(Open, AttachAfterAFailedOpenCreatesNothing) {
    ExtViewMF viewer;
    HostWindow host;
    host.SetViewer(&viewer);

    const Opened opened = OpenWatched(viewer, MediaPath(L"text.mp4"));
    ASSERT_EQ(opened.result, -1);
    ASSERT_EQ(opened.boxes.size(), 1u);

    EXPECT_EQ(viewer.Attach(host.pane()), -1);
    ExpectUnattached(viewer, host);
    PumpMessages(300);
    EXPECT_FALSE(TimerTicked(host));
    ASSERT_NE(viewer.player, nullptr);
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);

    host.SetViewer(nullptr);
}

}  // namespace
