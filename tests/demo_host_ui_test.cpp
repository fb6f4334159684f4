// The demo host as a user runs it, as a process of its own: a screenshot of a playing movie,
// the module's error box for a file that is no movie, and a folder played as a list.

#include "common/ComApartment.h"
#include "common/Owned.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD RUN_LIMIT_MS = 60000;
constexpr int EXIT_OPEN_FAILED = 1;
constexpr int EXIT_SETUP_FAILED = 2;

using OwnedHandle = Owned<HANDLE, CloseHandle>;

// moviepane-view.exe run with the given arguments; ended by force if the test leaves it running.
class HostProcess {
public:
    explicit HostProcess(const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + BuildDir() + L"\\moviepane-view.exe\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION created{};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &created)) {
            process_.reset(created.hProcess);
            CloseHandle(created.hThread);
            id_ = created.dwProcessId;
        }
    }
    ~HostProcess() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 99);
    }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool started() const { return static_cast<bool>(process_); }
    DWORD id() const { return id_; }

    // The exit code, or nothing when the host is still running after limitMs.
    std::optional<DWORD> Wait(DWORD limitMs) {
        if (!process_ || WaitForSingleObject(process_.get(), limitMs) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }

private:
    OwnedHandle process_;
    DWORD id_ = 0;
};

// Reads and dismisses the dialog boxes of one other process, on a thread of its own.
class ProcessBoxWatcher {
public:
    explicit ProcessBoxWatcher(DWORD processId) : processId_(processId), thread_([this] { Run(); }) {}
    ~ProcessBoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    ProcessBoxWatcher(const ProcessBoxWatcher&) = delete;
    ProcessBoxWatcher& operator=(const ProcessBoxWatcher&) = delete;

    std::vector<SeenBox> Seen() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    struct Search {
        DWORD processId;
        std::vector<HWND> boxes;
    };

    static BOOL CALLBACK Collect(HWND window, LPARAM context) {
        auto* search = reinterpret_cast<Search*>(context);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (owner == search->processId && wcscmp(className, L"#32770") == 0 && IsWindowVisible(window)) {
            search->boxes.push_back(window);
        }
        return TRUE;
    }

    void Run() {
        std::vector<HWND> handled;
        while (!stop_) {
            Search search{processId_, {}};
            EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
            for (HWND box : search.boxes) {
                if (std::find(handled.begin(), handled.end(), box) != handled.end()) continue;
                handled.push_back(box);
                SeenBox seen;
                wchar_t caption[256] = {};
                GetWindowTextW(box, caption, 256);
                seen.caption = caption;
                seen.text = BoxText(box);
                seen.owner = GetWindow(box, GW_OWNER);
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    seen_.push_back(seen);
                }
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    }

    DWORD processId_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<SeenBox> seen_;
    std::thread thread_;
};

// A file name in the temporary folder that nothing uses; the file is removed with this object.
class TempFile {
public:
    explicit TempFile(const wchar_t* extension) {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"moviepane-view-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + extension;
        DeleteFileW(path_.c_str());
    }
    ~TempFile() { DeleteFileW(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::wstring& path() const { return path_; }
    bool exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

private:
    std::wstring path_;
};

struct Pixel {
    BYTE blue = 0;
    BYTE green = 0;
    BYTE red = 0;
};

struct Image {
    UINT width = 0;
    UINT height = 0;
    Pixel centre;
};

// Decodes an image file independently of the host's encoder path: size and centre pixel.
std::optional<Image> ReadImage(const std::wstring& path) {
    const ComApartment com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> pixels;
    Image image;
    BYTE bgra[4] = {};
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) {
        hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                &decoder);
    }
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
    if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&pixels);
    if (SUCCEEDED(hr)) {
        hr = pixels->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeCustom);
    }
    if (SUCCEEDED(hr)) hr = pixels->GetSize(&image.width, &image.height);
    if (SUCCEEDED(hr) && (image.width == 0 || image.height == 0)) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
        const WICRect centre{static_cast<INT>(image.width / 2), static_cast<INT>(image.height / 2), 1, 1};
        hr = pixels->CopyPixels(&centre, sizeof(bgra), sizeof(bgra), bgra);
    }
    if (FAILED(hr)) return std::nullopt;
    image.centre = Pixel{bgra[0], bgra[1], bgra[2]};
    return image;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A new folder in the temporary folder, removed with everything in it with this object.
class TempFolder {
public:
    TempFolder() {
        static int made = 0;
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"moviepane-list-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++made);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const wchar_t* name) const { return path_ + L"\\" + name; }
    bool CopyMedia(const wchar_t* media, const wchar_t* name) const {
        return CopyFileW(MediaPath(media).c_str(), (*this / name).c_str(), TRUE) != FALSE;
    }

private:
    std::wstring path_;
};

// The host's main window, once it has one.
HWND HostFrame(DWORD processId) {
    HWND frame = nullptr;
    for (HWND window = FindWindowExW(nullptr, nullptr, L"MoviepaneViewFrame", nullptr); window && !frame;
         window = FindWindowExW(nullptr, window, L"MoviepaneViewFrame", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) frame = window;
    }
    return frame;
}

}  // namespace

TEST(DemoHost, ShootsAPlayingMovie) {
    const TempFile shot(L".png");
    HostProcess host(Quoted(MediaPath(L"sample.mp4")) + L" --shot " + Quoted(shot.path()) + L" --after 2000");
    ASSERT_TRUE(host.started());
    const ProcessBoxWatcher boxes(host.id());

    const std::optional<DWORD> exitCode = host.Wait(RUN_LIMIT_MS);
    ASSERT_TRUE(exitCode.has_value()) << "the host was still running";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_TRUE(boxes.Seen().empty()) << Narrow(boxes.Seen().front().text);

    const std::optional<Image> image = ReadImage(shot.path());
    ASSERT_TRUE(image.has_value()) << "no readable PNG at " << Narrow(shot.path());
    // The middle of the colour bars: the video, not the black of an empty pane.
    const Pixel& centre = image->centre;
    EXPECT_GE(std::max({centre.red, centre.green, centre.blue}), 64)
        << "centre pixel " << int(centre.red) << "," << int(centre.green) << "," << int(centre.blue);
}

TEST(DemoHost, ReportsAFileThatIsNoMovie) {
    const TempFile shot(L".png");
    const std::wstring movie = MediaPath(L"text.mp4");
    HostProcess host(Quoted(movie) + L" --shot " + Quoted(shot.path()) + L" --after 2000");
    ASSERT_TRUE(host.started());
    const ProcessBoxWatcher boxes(host.id());

    const std::optional<DWORD> exitCode = host.Wait(RUN_LIMIT_MS);
    ASSERT_TRUE(exitCode.has_value()) << "the host was still running: its error box was not found";
    EXPECT_EQ(*exitCode, static_cast<DWORD>(EXIT_OPEN_FAILED));
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"ExtViewMF");
    EXPECT_EQ(seen[0].text.rfind(movie + L"\n", 0), 0u) << Narrow(seen[0].text);
    EXPECT_FALSE(shot.exists());
}

TEST(DemoHost, RefusesACommandLineWithoutAFile) {
    HostProcess host(L"--after 2000");
    ASSERT_TRUE(host.started());
    const ProcessBoxWatcher boxes(host.id());

    const std::optional<DWORD> exitCode = host.Wait(RUN_LIMIT_MS);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, static_cast<DWORD>(EXIT_SETUP_FAILED));
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, L"moviepane-view");
}

// Names in the order a user sees them: "10 ..." after "3 ...". The file that is no movie gets
// its box and no shot, and the others are still shown.
TEST(DemoHost, ShootsEachMovieOfAListInNameOrder) {
    const TempFolder movies;
    const TempFolder shots;
    ASSERT_TRUE(movies.CopyMedia(L"short-48x144.mp4", L"1 short.mp4"));
    ASSERT_TRUE(movies.CopyMedia(L"sample.mov", L"2 bars.mov"));
    ASSERT_TRUE(movies.CopyMedia(L"text.mp4", L"3 text.mp4"));
    ASSERT_TRUE(movies.CopyMedia(L"sample.mp4", L"10 bars.mp4"));
    ASSERT_TRUE(movies.CopyMedia(L"text.mp4", L"notes.txt"));
    HostProcess host(L"--list " + Quoted(movies.path()) + L" --shot " + Quoted(shots / L"shot.png") +
                     L" --after 1500");
    ASSERT_TRUE(host.started());
    const ProcessBoxWatcher boxes(host.id());

    const std::optional<DWORD> exitCode = host.Wait(RUN_LIMIT_MS);
    ASSERT_TRUE(exitCode.has_value()) << "the host was still running";
    EXPECT_EQ(*exitCode, static_cast<DWORD>(EXIT_OPEN_FAILED));
    const std::vector<SeenBox> seen = boxes.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text.rfind(movies / L"3 text.mp4" + L"\n", 0), 0u) << Narrow(seen[0].text);
    for (const wchar_t* name : {L"shot-1.png", L"shot-2.png", L"shot-4.png"}) {
        EXPECT_TRUE(ReadImage(shots / name).has_value()) << "no readable " << Narrow(name);
    }
    EXPECT_EQ(GetFileAttributesW((shots / L"shot-3.png").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((shots / L"shot-5.png").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A movie's end, Space and Right each move on; closing the window ends the host.
TEST(DemoHost, MovesThroughAListAndEndsWithItsWindow) {
    const TempFolder movies;
    ASSERT_TRUE(movies.CopyMedia(L"short-48x144.mp4", L"a.mp4"));
    ASSERT_TRUE(movies.CopyMedia(L"sample.mov", L"b.mov"));
    ASSERT_TRUE(movies.CopyMedia(L"sample.mp4", L"c.mp4"));
    ASSERT_TRUE(movies.CopyMedia(L"video-only.mp4", L"d.mp4"));
    HostProcess host(L"--list " + Quoted(movies.path()));
    ASSERT_TRUE(host.started());
    const ProcessBoxWatcher boxes(host.id());

    HWND frame = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (frame = HostFrame(host.id())) != nullptr; }, RUN_LIMIT_MS));
    const auto shows = [&](const wchar_t* start) {
        return PumpUntil([&] { return WindowText(frame).rfind(start, 0) == 0; }, RUN_LIMIT_MS);
    };
    EXPECT_TRUE(shows(L"b.mov (2/4)  320\x00D7" L"240")) << "after the end of a.mp4: " << Narrow(WindowText(frame));
    PostMessageW(frame, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_TRUE(shows(L"c.mp4 (3/4)")) << "after Space: " << Narrow(WindowText(frame));
    PostMessageW(frame, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_TRUE(shows(L"d.mp4 (4/4)")) << "after Right: " << Narrow(WindowText(frame));

    PostMessageW(frame, WM_CLOSE, 0, 0);
    const std::optional<DWORD> exitCode = host.Wait(RUN_LIMIT_MS);
    ASSERT_TRUE(exitCode.has_value()) << "the host was still running after its window closed";
    EXPECT_EQ(*exitCode, 0u);
    const std::vector<SeenBox> seen = boxes.Seen();
    EXPECT_TRUE(seen.empty()) << Narrow(seen.front().text);
}
