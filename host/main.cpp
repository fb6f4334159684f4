// moviepane-view: a small host that shows one movie through moviepane.dll, the way a file
// manager's viewer pane does. It doubles as the project's demo and screenshot tool:
//
//   moviepane-view.exe FILE|--list FOLDER [--shot OUT.png|OUT.bmp --after MS] [--exit-after MS]
//
// --list plays every .mp4 and .mov of FOLDER in name order, one after another; Space or the
// Right key moves on, and so does a movie's end or its Stop button. With --shot each file is
// shown for MS and shot to OUT-1.png, OUT-2.png and so on; the last one ends the program.
//
// Exit codes: 0 normal end or screenshot saved, 1 the module could not open or attach a file,
// 2 bad command line, no movie in FOLDER or no usable moviepane.dll, 3 a screenshot could not
// be saved.

#include "common/ComApartment.h"
#include "common/Owned.h"
#include "host/support/HostWindows.h"
#include "host/support/HostedViewer.h"
#include "host/support/LoadedModule.h"
#include "module/ExtViewModuleInfo.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT_PTR TITLE_TIMER_ID = 1;
constexpr UINT_PTR SHOT_TIMER_ID = 2;
constexpr UINT_PTR EXIT_TIMER_ID = 3;
constexpr UINT TITLE_PERIOD_MS = 250;
constexpr int INITIAL_CLIENT_WIDTH = 800;
constexpr int INITIAL_CLIENT_HEIGHT = 480;

constexpr int EXIT_OPEN_FAILED = 1;
constexpr int EXIT_SETUP_FAILED = 2;
constexpr int EXIT_SHOT_FAILED = 3;

constexpr wchar_t FRAME_CLASS[] = L"MoviepaneViewFrame";
constexpr wchar_t PANE_CLASS[] = L"MoviepaneViewPane";
constexpr wchar_t USAGE[] =
    L"moviepane-view.exe FILE|--list FOLDER [--shot OUT.png|OUT.bmp --after MS] [--exit-after MS]";
// A stopped movie reads as position 0 where a playing one moves on: this many such reads in a
// row, a title period apart, mean that the movie has ended.
constexpr int STOPPED_READS = 2;

using Window = Owned<HWND, DestroyWindow>;
using MemoryDc = Owned<HDC, DeleteDC>;
using Bitmap = Owned<HBITMAP, CloseGdiObject>;
using ArgumentList = Owned<LPWSTR*, LocalFree>;
using FileSearch = Owned<HANDLE, FindClose>;

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() { ReleaseDC(nullptr, dc_); }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

struct Options {
    std::vector<std::wstring> files;
    bool list = false;
    std::wstring shotPath;
    UINT shotAfterMs = 0;
    std::optional<UINT> exitAfterMs;
};

struct App {
    Options options;
    const ExtViewModuleInfo* module = nullptr;
    int showCommand = SW_SHOWNORMAL;
    size_t current = 0;
    int stoppedReads = 0;
    int exitCode = 0;
    Window frame;
    HWND pane = nullptr;
    // Declared after the frame so that it goes first: the module's teardown needs its window.
    std::unique_ptr<HostedViewer> viewer;
};

std::optional<UINT> ParseMilliseconds(const wchar_t* text) {
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end == text || *end != L'\0' || value > USER_TIMER_MAXIMUM) return std::nullopt;
    return static_cast<UINT>(value);
}

bool IsMovieName(const wchar_t* name) {
    const wchar_t* extension = PathFindExtensionW(name);
    return _wcsicmp(extension, L".mp4") == 0 || _wcsicmp(extension, L".mov") == 0;
}

// The folder's movies in name order, as a file manager lists them.
std::vector<std::wstring> MoviesIn(const std::wstring& folder) {
    std::vector<std::wstring> movies;
    const std::wstring prefix = folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder
                                                                                                 : folder + L"\\";
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return movies;
    const FileSearch search(first);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsMovieName(found.cFileName)) {
            movies.push_back(prefix + found.cFileName);
        }
    } while (FindNextFileW(search.get(), &found));
    std::sort(movies.begin(), movies.end(),
              [](const std::wstring& a, const std::wstring& b) { return StrCmpLogicalW(a.c_str(), b.c_str()) < 0; });
    return movies;
}

std::optional<Options> ParseCommandLine() {
    int count = 0;
    const ArgumentList args(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!args) return std::nullopt;
    LPWSTR* arg = args.get();
    Options options;
    std::wstring target;
    for (int i = 1; i < count; ++i) {
        const std::wstring name = arg[i];
        const bool hasValue = i + 1 < count;
        if (name == L"--list" && hasValue && target.empty()) {
            options.list = true;
            target = arg[++i];
        } else if (name == L"--shot" && hasValue) {
            options.shotPath = arg[++i];
        } else if (name == L"--after" && hasValue) {
            const std::optional<UINT> ms = ParseMilliseconds(arg[++i]);
            if (!ms) return std::nullopt;
            options.shotAfterMs = *ms;
        } else if (name == L"--exit-after" && hasValue) {
            options.exitAfterMs = ParseMilliseconds(arg[++i]);
            if (!options.exitAfterMs) return std::nullopt;
        } else if (name.rfind(L"--", 0) != 0 && target.empty()) {
            target = name;
        } else {
            return std::nullopt;
        }
    }
    if (target.empty()) return std::nullopt;
    options.files = options.list ? MoviesIn(target) : std::vector<std::wstring>{target};
    return options;
}

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L"\\/:") + 1);
}

// The largest rectangle of the image's aspect ratio that fits in area, centred.
RECT FitInto(const RECT& area, int32_t imageWidth, int32_t imageHeight) {
    const int64_t areaWidth = area.right - area.left;
    const int64_t areaHeight = area.bottom - area.top;
    int64_t width = areaWidth;
    int64_t height = areaHeight;
    if (areaWidth * imageHeight > areaHeight * imageWidth) {
        width = areaHeight * imageWidth / imageHeight;
    } else {
        height = areaWidth * imageHeight / imageWidth;
    }
    const LONG left = area.left + static_cast<LONG>((areaWidth - width) / 2);
    const LONG top = area.top + static_cast<LONG>((areaHeight - height) / 2);
    return {left, top, left + static_cast<LONG>(width), top + static_cast<LONG>(height)};
}

void PaintPane(App& app) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(app.pane, &paint);
    RECT client{};
    GetClientRect(app.pane, &client);
    RECT view = client;
    int32_t size[2] = {0, 0};
    if (app.viewer) {
        app.viewer->Message(WM_EXTVIEW_ADJUST_VIEW_RECT, reinterpret_cast<WPARAM>(&view), 0);
        app.viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
    }
    const bool hasImage = size[0] > 0 && size[1] > 0;
    const RECT picture = hasImage ? FitInto(view, size[0], size[1]) : RECT{};

    // Only the bars are ours: the video renderer paints the picture itself, and painting over
    // it would blank a paused frame until the renderer next presents one.
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, picture.left, picture.top, picture.right, picture.bottom);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    RestoreDC(dc, saved);

    if (hasImage) app.viewer->Draw(dc, RECT{0, 0, size[0], size[1]}, picture);
    EndPaint(app.pane, &paint);
}

std::wstring FormatMilliseconds(uint32_t ms) {
    const uint32_t seconds = ms / 1000;
    wchar_t text[32];
    if (seconds >= 3600) {
        std::swprintf(text, 32, L"%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    } else {
        std::swprintf(text, 32, L"%u:%02u", seconds / 60, seconds % 60);
    }
    return text;
}

// Counts the reads of a stopped movie, for the list to move on.
void UpdateTitle(App& app) {
    if (!app.viewer) return;
    int32_t size[2] = {0, 0};
    int32_t duration = 0;
    int32_t position = 0;
    app.viewer->Message(WM_EXTVIEW_GET_IMAGE_SIZE, reinterpret_cast<WPARAM>(size), 0);
    const bool hasDuration =
        app.viewer->Message(WM_EXTVIEW_GET_DURATION, reinterpret_cast<WPARAM>(&duration), 0) == 0;
    const bool hasPosition =
        app.viewer->Message(WM_EXTVIEW_GET_POSITION, reinterpret_cast<WPARAM>(&position), 0) == 0;
    app.stoppedReads = hasPosition && position == 0 ? app.stoppedReads + 1 : 0;
    const std::wstring unknown = L"--:--";
    const std::wstring place = app.options.list ? L" (" + std::to_wstring(app.current + 1) + L"/" +
                                                      std::to_wstring(app.options.files.size()) + L")"
                                                : L"";
    // The module reports milliseconds in 32 bits; read them unsigned so long files stay positive.
    const std::wstring title =
        FileNameOf(app.options.files[app.current]) + place + L"  " + std::to_wstring(size[0]) + L"\x00D7" +
        std::to_wstring(size[1]) + L"  " +
        (hasPosition ? FormatMilliseconds(static_cast<uint32_t>(position)) : unknown) + L" / " +
        (hasDuration ? FormatMilliseconds(static_cast<uint32_t>(duration)) : unknown) +
        L" - moviepane";
    SetWindowTextW(app.frame.get(), title.c_str());
}

HRESULT SaveBitmap(HBITMAP bitmap, const std::wstring& path) {
    const size_t dot = path.find_last_of(L'.');
    std::wstring extension = dot == std::wstring::npos ? L"" : path.substr(dot);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
    const GUID container = extension == L".bmp" ? GUID_ContainerFormatBmp : GUID_ContainerFormatPng;

    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmap> captured;
    ComPtr<IWICBitmapSource> pixels;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    UINT width = 0;
    UINT height = 0;
    // Both encoders take 24-bit BGR, and the window's pixels carry no meaningful alpha.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&factory));
    if (SUCCEEDED(hr)) hr = factory->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &captured);
    if (SUCCEEDED(hr)) hr = WICConvertBitmapSource(format, captured.Get(), &pixels);
    if (SUCCEEDED(hr)) hr = pixels->GetSize(&width, &height);
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(container, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr)) hr = frame->WriteSource(pixels.Get(), nullptr);
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    return hr;
}

// Copies the pane's client area as it stands on the screen: the video renderer presents its
// frames there without going through the window's own device context, so a copy from that
// context (or PrintWindow) can miss the picture.
bool SavePaneShot(HWND pane, const std::wstring& path) {
    RECT client{};
    GetClientRect(pane, &client);
    POINT origin{0, 0};
    ClientToScreen(pane, &origin);
    const ScreenDc screen;
    const MemoryDc memoryDc(CreateCompatibleDC(screen.get()));
    const Bitmap bitmap(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
    if (!screen.get() || !memoryDc || !bitmap) return false;
    const HGDIOBJ previous = SelectObject(memoryDc.get(), bitmap.get());
    const BOOL copied =
        BitBlt(memoryDc.get(), 0, 0, client.right, client.bottom, screen.get(), origin.x, origin.y, SRCCOPY);
    SelectObject(memoryDc.get(), previous);
    return copied && SUCCEEDED(SaveBitmap(bitmap.get(), path));
}

LRESULT CALLBACK PaneProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    App* app = OwnerOf<App>(pane, message, lParam);
    // The module sees every message of its window; 1 means that it left the message to us.
    const int32_t result = app && app->viewer ? app->viewer->Message(message, wParam, lParam) : 1;
    switch (message) {
    case WM_PAINT:
        if (!app) break;
        PaintPane(*app);
        return 0;
    case WM_EXTVIEW_HOST_NOTIFY:
        InvalidateRect(pane, nullptr, FALSE);
        return 0;
    }
    return result == 1 ? DefWindowProcW(pane, message, wParam, lParam) : 0;
}

// In a list, OUT.png becomes OUT-1.png, OUT-2.png and so on.
std::wstring ShotPath(const App& app) {
    const std::wstring& path = app.options.shotPath;
    if (!app.options.list) return path;
    const size_t cut = PathFindExtensionW(path.c_str()) - path.c_str();
    return path.substr(0, cut) + L"-" + std::to_wstring(app.current + 1) + path.substr(cut);
}

// The new viewer is the app's once its file is open: the module's error box pumps messages,
// and the timers must not find a viewer in the middle of its open.
bool ShowFile(App& app) {
    app.viewer.reset();
    app.stoppedReads = 0;
    auto viewer = std::make_unique<HostedViewer>(*app.module);
    if (!viewer->Create() || !viewer->Open(app.options.files[app.current])) return false;
    app.viewer = std::move(viewer);
    if (!IsWindowVisible(app.frame.get())) {
        ShowWindow(app.frame.get(), app.showCommand);
        UpdateWindow(app.frame.get());
    }
    if (!app.viewer->Attach(app.pane)) {
        app.viewer.reset();
        return false;
    }
    InvalidateRect(app.pane, nullptr, FALSE);
    UpdateTitle(app);
    if (!app.options.shotPath.empty()) SetTimer(app.frame.get(), SHOT_TIMER_ID, app.options.shotAfterMs, nullptr);
    return true;
}

// Shows the first file from the current one on that opens; false when none does.
bool ShowFromCurrent(App& app) {
    for (; app.current < app.options.files.size() && app.frame; ++app.current) {
        if (ShowFile(app)) return true;
        if (app.exitCode == 0) app.exitCode = EXIT_OPEN_FAILED;
    }
    return false;
}

void ShowNext(App& app) {
    ++app.current;
    if (!ShowFromCurrent(app) && app.frame) PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
}

bool IsNextKey(const MSG& message) {
    const bool repeated = (message.lParam & (1 << 30)) != 0;
    return message.message == WM_KEYDOWN && !repeated && (message.wParam == VK_SPACE || message.wParam == VK_RIGHT);
}

void OnFrameTimer(App& app, UINT_PTR id) {
    switch (id) {
    case TITLE_TIMER_ID:
        UpdateTitle(app);
        // With shots, each file stays until its shot.
        if (app.options.list && app.options.shotPath.empty() && app.stoppedReads >= STOPPED_READS) ShowNext(app);
        break;
    case SHOT_TIMER_ID:
        KillTimer(app.frame.get(), id);
        if (!SavePaneShot(app.pane, ShotPath(app))) app.exitCode = EXIT_SHOT_FAILED;
        if (app.options.list) {
            ShowNext(app);
        } else {
            PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
        }
        break;
    case EXIT_TIMER_ID:
        KillTimer(app.frame.get(), id);
        PostMessageW(app.frame.get(), WM_CLOSE, 0, 0);
        break;
    }
}

LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    App* app = OwnerOf<App>(frame, message, lParam);
    if (!app) return DefWindowProcW(frame, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        if (app->pane) MoveWindow(app->pane, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_TIMER:
        OnFrameTimer(*app, wParam);
        return 0;
    case WM_CLOSE:
        // The viewer goes while its pane still exists.
        app->viewer.reset();
        app->frame.reset();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(app->exitCode);
        return 0;
    }
    return DefWindowProcW(frame, message, wParam, lParam);
}

bool CreateWindows(HINSTANCE instance, App& app) {
    // No background brush: the pane paints every pixel, bars included.
    if (!RegisterWindowClass(FRAME_CLASS, FrameProc) ||
        !RegisterWindowClass(PANE_CLASS, PaneProc, nullptr, CS_HREDRAW | CS_VREDRAW)) {
        return false;
    }

    const DWORD frameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT bounds{0, 0, INITIAL_CLIENT_WIDTH, INITIAL_CLIENT_HEIGHT};
    AdjustWindowRectEx(&bounds, frameStyle, FALSE, 0);
    app.frame.reset(CreateWindowExW(0, FRAME_CLASS, FileNameOf(app.options.files.front()).c_str(), frameStyle,
                                    CW_USEDEFAULT, CW_USEDEFAULT, bounds.right - bounds.left,
                                    bounds.bottom - bounds.top, nullptr, nullptr, instance, &app));
    if (!app.frame) return false;
    RECT client{};
    GetClientRect(app.frame.get(), &client);
    app.pane = CreateWindowExW(0, PANE_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                               0, 0, client.right, client.bottom, app.frame.get(), nullptr, instance, &app);
    return app.pane != nullptr;
}

int Fail(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"moviepane-view", MB_OK | MB_ICONERROR);
    return EXIT_SETUP_FAILED;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const std::optional<Options> options = ParseCommandLine();
    if (!options) return Fail(USAGE);
    if (options->files.empty()) return Fail(L"The folder holds no .mp4 or .mov file.");

    const ComApartment com;
    const LoadedModule module;
    if (!module.info()) return Fail(L"moviepane.dll is missing beside this program or is not a viewer module.");

    App app;
    app.options = *options;
    app.module = module.info();
    app.showCommand = show;
    if (!CreateWindows(instance, app)) return Fail(L"The viewer window could not be created.");

    // Open shows its own error box when it fails.
    if (!ShowFromCurrent(app)) return EXIT_OPEN_FAILED;
    SetTimer(app.frame.get(), TITLE_TIMER_ID, TITLE_PERIOD_MS, nullptr);
    if (app.options.exitAfterMs) {
        SetTimer(app.frame.get(), EXIT_TIMER_ID, *app.options.exitAfterMs, nullptr);
    }

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Whichever window has the focus, the pane's buttons included.
        if (app.options.list && IsNextKey(message)) {
            ShowNext(app);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
