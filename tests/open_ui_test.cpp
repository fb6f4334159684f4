// Opening files in a viewer: what the user is shown when a file cannot be opened, what a
// viewer holds afterwards, and how a new open tears down what the previous one left.

#include "errors/ErrorBox.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "viewer/ExtViewMF.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// Whether Media Foundation is started in this process: its work queues exist only then.
bool PlatformRunning() {
    DWORD queue = 0;
    if (FAILED(MFAllocateWorkQueue(&queue))) return false;
    MFUnlockWorkQueue(queue);
    return true;
}

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

TEST(Open, FilesThatCannotBeOpenedAreReportedInTheBox) {
    const std::wstring paths[] = {MediaPath(L"missing.mp4"), L"", MediaPath(L"text.mp4"), MediaPath(L"empty.mp4")};
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
    for (const wchar_t* name : {L"sample.mp4", L"sample.mov"}) {
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
    EXPECT_EQ(first->State(), PlayerState::Closed);
    EXPECT_EQ(first->session, nullptr);
    EXPECT_EQ(first->source, nullptr);
    EXPECT_FALSE(first->closeEvent) << "the first player's close event is still open";
    EXPECT_EQ(first->Release(), 0u) << "someone else still holds the first player";

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
