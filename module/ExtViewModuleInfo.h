#pragma once
// The record a host receives from GetExtViewModuleInfo, and the entry points it lists.

#include "common/HostMessages.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

using ExtViewHandle = void*;

using ExtViewCreateFn = ExtViewHandle(WINAPI*)(void* hostValue);
using ExtViewDestroyFn = void(WINAPI*)(ExtViewHandle viewer);
using ExtViewOpenFn = INT_PTR(WINAPI*)(ExtViewHandle viewer, const wchar_t* path, void* hostValue1,
                                       void* hostValue2, void* hostValue3, void* hostValue4,
                                       void* hostValue5, void* hostValue6, void* hostValue7);
using ExtViewAttachFn = int32_t(WINAPI*)(ExtViewHandle viewer, HWND window);
using ExtViewDrawFn = int32_t(WINAPI*)(ExtViewHandle viewer, HDC dc, const RECT* source,
                                       const RECT* destination, void* hostValue);
using ExtViewMessageFn = int32_t(WINAPI*)(ExtViewHandle viewer, uint32_t message, WPARAM wParam,
                                          LPARAM lParam);

struct ExtViewModuleInfo {
    const char* signature;
    uint32_t number1;
    uint32_t number2;
    void* reserved;
    const char* moduleId;
    const char* extensionFilter;
    const wchar_t* description;
    const wchar_t* copyrightNotice;
    ExtViewCreateFn create;
    ExtViewDestroyFn destroy;
    ExtViewOpenFn open;
    ExtViewAttachFn attach;
    ExtViewDrawFn draw;
    ExtViewMessageFn message;
};

using GetExtViewModuleInfoFn = const ExtViewModuleInfo*(WINAPI*)(void* hostValue);

// The host reads the record by these offsets; a change of layout breaks every host.
#if defined(_WIN64)
static_assert(offsetof(ExtViewModuleInfo, signature) == 0);
static_assert(offsetof(ExtViewModuleInfo, number1) == 8);
static_assert(offsetof(ExtViewModuleInfo, number2) == 12);
static_assert(offsetof(ExtViewModuleInfo, reserved) == 16);
static_assert(offsetof(ExtViewModuleInfo, moduleId) == 24);
static_assert(offsetof(ExtViewModuleInfo, extensionFilter) == 32);
static_assert(offsetof(ExtViewModuleInfo, description) == 40);
static_assert(offsetof(ExtViewModuleInfo, copyrightNotice) == 48);
static_assert(offsetof(ExtViewModuleInfo, create) == 56);
static_assert(offsetof(ExtViewModuleInfo, destroy) == 64);
static_assert(offsetof(ExtViewModuleInfo, open) == 72);
static_assert(offsetof(ExtViewModuleInfo, attach) == 80);
static_assert(offsetof(ExtViewModuleInfo, draw) == 88);
static_assert(offsetof(ExtViewModuleInfo, message) == 96);
static_assert(sizeof(ExtViewModuleInfo) == 104);
#else
static_assert(offsetof(ExtViewModuleInfo, signature) == 0);
static_assert(offsetof(ExtViewModuleInfo, number1) == 4);
static_assert(offsetof(ExtViewModuleInfo, number2) == 8);
static_assert(offsetof(ExtViewModuleInfo, reserved) == 12);
static_assert(offsetof(ExtViewModuleInfo, moduleId) == 16);
static_assert(offsetof(ExtViewModuleInfo, extensionFilter) == 20);
static_assert(offsetof(ExtViewModuleInfo, description) == 24);
static_assert(offsetof(ExtViewModuleInfo, copyrightNotice) == 28);
static_assert(offsetof(ExtViewModuleInfo, create) == 32);
static_assert(offsetof(ExtViewModuleInfo, destroy) == 36);
static_assert(offsetof(ExtViewModuleInfo, open) == 40);
static_assert(offsetof(ExtViewModuleInfo, attach) == 44);
static_assert(offsetof(ExtViewModuleInfo, draw) == 48);
static_assert(offsetof(ExtViewModuleInfo, message) == 52);
static_assert(sizeof(ExtViewModuleInfo) == 56);
#endif
