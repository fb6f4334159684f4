#pragma once
// The private messages a host sends through the module's message entry point, and the one the
// module posts to the host window.

#include <windows.h>

#include <cstdint>

constexpr UINT WM_EXTVIEW_GET_IMAGE_SIZE = WM_USER + 5;
constexpr UINT WM_EXTVIEW_GET_IMAGE_SIZE2 = WM_USER + 6;
constexpr UINT WM_EXTVIEW_GET_BIT_DEPTH = WM_USER + 7;
constexpr UINT WM_EXTVIEW_GET_DURATION = WM_USER + 8;
constexpr UINT WM_EXTVIEW_GET_POSITION = WM_USER + 9;
constexpr UINT WM_EXTVIEW_HIDE_PANEL = WM_USER + 16;
constexpr UINT WM_EXTVIEW_ADJUST_VIEW_RECT = WM_USER + 18;
constexpr UINT WM_EXTVIEW_HOST_NOTIFY = WM_USER + 99;
constexpr WPARAM EXTVIEW_NOTIFY_PANEL_VISIBILITY = 4;

// What the message entry point answers.
constexpr int32_t MESSAGE_HANDLED = 0;
constexpr int32_t MESSAGE_NOT_HANDLED = 1;
constexpr int32_t REQUEST_FAILED = -1;
// The answer to each tick of the module's own timer, and to a hide request it declines.
constexpr int32_t OWN_TIMER_TICK = 2;
constexpr int32_t HIDE_DECLINED = 2;

// The host reads each side of the image size as 16 bits.
constexpr UINT32 IMAGE_SIDE_BITS = 0xFFFF;
