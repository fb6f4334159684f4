#pragma once
// The viewer: one per file the host shows. It owns the player, the path, the file's icon,
// the context menu while it is open, and the control panel in the host window.

#include "common/Owned.h"
#include "moviefile/MovieFacts.h"
#include "viewer/MenuTracking.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class CPlayer;
class UIPanel;

constexpr UINT_PTR REFRESH_TIMER_ID = 999;
constexpr UINT REFRESH_PERIOD_MS = 100;

// Gives up the player reference on destruction.
struct PlayerRelease {
    void operator()(CPlayer* player) const;
};

class ExtViewMF {
public:
    ExtViewMF();
    ExtViewMF(const ExtViewMF&) = delete;
    ExtViewMF& operator=(const ExtViewMF&) = delete;
    virtual ~ExtViewMF();

    INT_PTR Open(const wchar_t* path);
    void Reset();
    int32_t Attach(HWND window);
    int32_t Draw(HDC dc, const RECT* source, const RECT* destination);
    int32_t HandleMessage(uint32_t message, WPARAM wParam, LPARAM lParam);

    int32_t Play();
    int32_t SeekTo(int64_t position);
    int32_t ShowContextMenu(int x, int y);

    // What the file's own structure says, read once by open: the file's latest open, or nothing.
    MovieFacts movieFacts;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    int32_t bitsPerPixel = 0;
    std::unique_ptr<CPlayer, PlayerRelease> player;
    std::unique_ptr<wchar_t[]> filePath;
    OwnedIcon fileIcon;
    OwnedMenu popupMenu;
    HWND hostWindow = nullptr;
    std::unique_ptr<UIPanel> panel;

    // The seek bar's scale (this viewer's duration, 100-ns units) and whether a drag on it
    // paused playback that is to resume when the drag ends.
    int64_t seekScaleDuration = 0;
    bool resumeAfterDrag = false;

    // How long open waits for the file's media source, and attach for the session to report on
    // the topology.
    DWORD openWaitLimitMs = 10000;

    // While the context menu is tracked.
    MenuTracking* menuTracking = nullptr;

private:
    // Open's steps, to the first that fails.
    HRESULT OpenSteps(const wchar_t* path, std::wstring& why);
    // why: a line for the error box, when more is known of a refusal than its status says.
    HRESULT ResolveSource(const wchar_t* path, std::wstring& why);
    HRESULT CopyPath(const wchar_t* path);
    void TakeIconSize();
    void SetSeekBarPosition(int64_t position);
    void SetPlayCaption(const wchar_t* caption);
    void ShowProperties();

    int32_t OnCommand(WPARAM wParam);
    int32_t OnSeekBar(WPARAM wParam, LPARAM lParam);
    int32_t OnRefreshTimer();
    int32_t OnGetPosition(WPARAM wParam);
    int32_t OnHidePanel(WPARAM wParam);
    int32_t RequestPause();
    int32_t RequestStop();
};
