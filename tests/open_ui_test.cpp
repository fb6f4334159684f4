// Opening files in a viewer: what the user is shown when a file cannot be opened, what a
// viewer holds afterwards, and how a new open tears down what the previous one left.

#include "errors/ErrorBox.h"
#include "panel/UIPanel.h"
#include "player/CPlayer.h"
#include "player/VideoDecoders.h"
#include "viewer/ExtViewMF.h"

#include "PlayerTestSupport.h"
#include "PlayingViewer.h"
#include "TestSupport.h"

#include "common/Owned.h"

#include <gtest/gtest.h>

#include <amvideo.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// IQualProp's interface id, which not every SDK's headers define.
constexpr IID QUALITY_PROPERTIES = {0x1bd0ecb0, 0xf8e2, 0x11ce, {0xaa, 0xc6, 0x00, 0x20, 0xaf, 0x0b, 0x99, 0xa3}};

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

std::wstring ExpectedText(HRESULT status, const std::wstring& path, const std::wstring& why = L"") {
    wchar_t message[ERROR_MESSAGE_CHARS];
    FormatErrorMessage(status, path.c_str(), message, why.c_str());
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
        EXPECT_NE(viewer.player->Session(), nullptr);
        EXPECT_FALSE(viewer.player->HasSource());
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
        EXPECT_NE(viewer.player->Session(), nullptr);
        EXPECT_TRUE(viewer.player->HasSource());
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

// A copy of a test movie whose first box of a type has a size of 0, which the platform's source
// may refuse; made anew.
std::wstring DamagedCopyOfMedia(const wchar_t* media, const std::wstring& name, const char (&type)[5]) {
    const std::wstring copy = CopyOfMedia(media, name);
    const Owned<HANDLE, CloseHandle> file(
        CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<char> bytes(64 * 1024);
    DWORD done = 0;
    EXPECT_TRUE(ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
    const auto found = std::search(bytes.begin(), bytes.begin() + done, type, type + 4);
    EXPECT_NE(found - bytes.begin(), static_cast<ptrdiff_t>(done)) << type;
    LARGE_INTEGER at{};
    at.QuadPart = found - bytes.begin() - 4;
    const char zero[4] = {};
    EXPECT_TRUE(SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) && WriteFile(file.get(), zero, 4, &done, nullptr));
    return copy;
}

// A file can hold a video that this system cannot decode: the box says which. Wine's source
// refuses such a file; on Windows it opens, and open finds that no decoder takes its video. A
// damaged movie whose video every system decodes is not said to be undecodable.
TEST(Open, MoviesTheSystemCannotDecodeSayWhichVideoTheyHold) {
    DamagedCopyOfMedia(L"sample.mp4", L"damaged-mdia.mp4", "mdia");
    const struct {
        const wchar_t* media;
        const wchar_t* format;
    } movies[] = {
        {L"h264-10bit.mp4", L"H.264 High 10, 10-bit"},
        {L"h264-444.mp4", L"H.264 High 4:4:4 Predictive"},
        {L"hevc-10bit.mov", L"HEVC (H.265) Main 10, 10-bit"},
        {L"prores.mov", L"Apple ProRes 422"},
        {L"rpza.mov", L"Apple Video"},
        {L"damaged-mdia.mp4", nullptr},
    };
    for (const auto& movie : movies) {
        SCOPED_TRACE(Narrow(movie.media));
        const std::wstring path = MediaPath(movie.media);
        const HRESULT status = ResolverStatus(path);
        ExtViewMF viewer;
        const Opened opened = OpenWatched(viewer, path);
        if (opened.result == 0) {
            // Wine's source has been seen to open a damaged movie on one try and refuse it on the next.
            if (movie.format) EXPECT_TRUE(SUCCEEDED(status)) << "opened a file the platform refuses";
            EXPECT_TRUE(opened.boxes.empty());
            continue;
        }
        ASSERT_EQ(opened.boxes.size(), 1u);
        if (!movie.format) {
            EXPECT_EQ(opened.boxes[0].text.find(L"cannot decode"), std::wstring::npos) << Narrow(opened.boxes[0].text);
            continue;
        }
        const HRESULT refusal = FAILED(status) ? status : MF_E_TOPO_CODEC_NOT_FOUND;
        EXPECT_EQ(opened.boxes[0].text,
                  ExpectedText(refusal, path, std::wstring(L"The video is ") + movie.format +
                                                  L", which this system cannot decode."));
    }
}

// A video stream of the given subtype, selected or not, in a presentation of its own.
ComPtr<IMFPresentationDescriptor> PresentationOf(const GUID& subtype, bool uncompressed, bool selected) {
    ComPtr<IMFMediaType> type;
    ComPtr<IMFStreamDescriptor> stream;
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFPresentationDescriptor> presentation;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&type));
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    if (uncompressed) type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    IMFMediaType* types[] = {type.Get()};
    EXPECT_HRESULT_SUCCEEDED(MFCreateStreamDescriptor(0, 1, types, &stream));
    EXPECT_HRESULT_SUCCEEDED(stream->GetMediaTypeHandler(&handler));
    EXPECT_HRESULT_SUCCEEDED(handler->SetCurrentMediaType(type.Get()));
    IMFStreamDescriptor* streams[] = {stream.Get()};
    EXPECT_HRESULT_SUCCEEDED(MFCreatePresentationDescriptor(1, streams, &presentation));
    if (selected) presentation->SelectStream(0);
    return presentation;
}

// What open asks of a source that leaves decoding to a decoder, as Windows' does. Wine's offers
// uncompressed video, so the streams are made up here.
TEST(Open, ACompressedVideoThatNoDecoderTakesIsFound) {
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    GUID unknown = MFVideoFormat_H264;
    unknown.Data1 = MAKEFOURCC('Q', 'Z', 'Q', '9');
    const struct {
        GUID subtype;
        bool uncompressed;
        bool selected;
        HRESULT expected;
    } cases[] = {
        {MFVideoFormat_H264, false, true, S_OK},
        {MFVideoFormat_NV12, true, true, S_OK},
        {unknown, false, false, S_OK},
        {unknown, false, true, MF_E_TOPO_CODEC_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.subtype.Data1));
        GUID undecodable = MFMediaType_Video;
        EXPECT_EQ(CheckVideoDecoders(PresentationOf(c.subtype, c.uncompressed, c.selected).Get(), &undecodable),
                  c.expected);
        EXPECT_EQ(undecodable, FAILED(c.expected) ? c.subtype : GUID_NULL);
    }
    MFShutdown();

    EXPECT_EQ(DescribeVideoSubtype(MFVideoFormat_HEVC), L"HEVC (H.265)");
    EXPECT_EQ(DescribeVideoSubtype(MFVideoFormat_H264), L"H.264");
    EXPECT_EQ(DescribeVideoSubtype(unknown), L"");
    EXPECT_EQ(DescribeVideoSubtype(MFMediaType_Video), L"");
}

// A copy of the first part of a test movie, as a download in progress leaves it.
std::wstring CutCopyOfMedia(const wchar_t* media, const std::wstring& name, int percent) {
    const std::wstring copy = CopyOfMedia(media, name);
    const Owned<HANDLE, CloseHandle> file(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(file.get(), &size));
    size.QuadPart = size.QuadPart * percent / 100;
    EXPECT_TRUE(SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()));
    return copy;
}

// A movie whose data ends right after its header was seen to hold the platform's source, and
// open with it, for its whole time limit; cut later, a movie opens and plays.
TEST(Open, AMovieCutShortIsRefusedAtOnceOnlyWhileNoPictureIsThere) {
    const std::wstring cut = MediaPath(L"cut-after-moov.mp4");
    ExtViewMF viewer;
    const ULONGLONG began = GetTickCount64();
    const Opened opened = OpenWatched(viewer, cut);
    const ULONGLONG held = GetTickCount64() - began;
    EXPECT_EQ(opened.result, -1);
    ASSERT_EQ(opened.boxes.size(), 1u);
    EXPECT_EQ(opened.boxes[0].text, ExpectedText(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), cut,
                                                 L"The file ends before its first picture; it may still be downloading."));
    // Far below open's limit. How quick it is on an idle machine is the bench's figure.
    EXPECT_LT(held, viewer.openWaitLimitMs / 4);

    for (const int percent : {30, 70}) {
        SCOPED_TRACE(percent);
        const std::wstring name = L"cut-" + std::to_wstring(percent) + L".mp4";
        CutCopyOfMedia(L"sample.mp4", name, percent);
        PlayingViewer playing;
        ASSERT_TRUE(playing.Attach(name.c_str()));
        EXPECT_TRUE(playing.WaitForState(PlayerState::Started));
    }
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
    EXPECT_EQ(first->Session(), nullptr);
    EXPECT_FALSE(first->HasSource());
    EXPECT_TRUE(PumpUntil([&] { return References(first) == 1; }, 5000)) << "someone else still holds the first player";
    EXPECT_EQ(first->Release(), 0u);

    ASSERT_NE(viewer.player, nullptr);
    EXPECT_EQ(viewer.player->State(), PlayerState::Ready);
    EXPECT_TRUE(viewer.player->HasSource());
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

    // Once the viewer has let go of the window, the host may destroy it: the renderer's frame
    // count stands still from then on, through the whole teardown.
    ComPtr<IQualProp> frames;
    const ComPtr<IMFVideoDisplayControl> display = viewer.player->VideoDisplay();
    ASSERT_NE(display, nullptr);
    ASSERT_HRESULT_SUCCEEDED(display->QueryInterface(
        QUALITY_PROPERTIES, reinterpret_cast<void**>(frames.GetAddressOf())));
    host.SetViewer(nullptr);
    viewer.Reset();
    int drawnAtReset = 0;
    int drawn = 0;
    const bool counted = SUCCEEDED(frames->get_FramesDrawn(&drawnAtReset));
    EXPECT_TRUE(PumpUntil(
        [&] {
            if (counted && SUCCEEDED(frames->get_FramesDrawn(&drawn))) EXPECT_EQ(drawn, drawnAtReset);
            return CPlayer::TeardownsUnderWay() == 0;
        },
        5000));
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
