#pragma once
// Whether the module runs under Wine, whose platform differs from Windows in places the module
// works around. Windows never takes those paths.

#include <windows.h>

inline bool RunsOnWine() {
    static const bool wine = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}
