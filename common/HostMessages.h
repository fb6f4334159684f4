#pragma once
// The private messages a host sends through the module's message entry point, and the one the
// module posts to the host window.

#include <windows.h>

constexpr UINT WM_EXTVIEW_GET_IMAGE_SIZE = WM_USER + 5;
constexpr UINT WM_EXTVIEW_GET_IMAGE_SIZE2 = WM_USER + 6;
constexpr UINT WM_EXTVIEW_GET_BIT_DEPTH = WM_USER + 7;
constexpr UINT WM_EXTVIEW_GET_DURATION = WM_USER + 8;
constexpr UINT WM_EXTVIEW_GET_POSITION = WM_USER + 9;
constexpr UINT WM_EXTVIEW_HIDE_PANEL = WM_USER + 16;
constexpr UINT WM_EXTVIEW_ADJUST_VIEW_RECT = WM_USER + 18;
constexpr UINT WM_EXTVIEW_HOST_NOTIFY = WM_USER + 99;
constexpr WPARAM EXTVIEW_NOTIFY_PANEL_VISIBILITY = 4;
