#pragma once
// One viewer of the module, driven through its entry points as a host drives it, and destroyed
// with this object at the latest.

#include "module/ExtViewModuleInfo.h"

#include <windows.h>

#include <cstdint>
#include <string>

class HostedViewer {
public:
    explicit HostedViewer(const ExtViewModuleInfo& module) : module_(module) {}
    ~HostedViewer() { Destroy(); }
    HostedViewer(const HostedViewer&) = delete;
    HostedViewer& operator=(const HostedViewer&) = delete;

    bool Create();
    bool Open(const std::wstring& path);
    bool Attach(HWND window);
    void Draw(HDC dc, const RECT& source, const RECT& destination);
    int32_t Message(UINT message, WPARAM wParam, LPARAM lParam);
    // A host that forwards the pane's messages decides itself whether the ones that the
    // teardown sends still reach the viewer: the handle stays valid until destroy returns.
    void Destroy();

    // Null before Create and after Destroy.
    ExtViewHandle handle() const { return handle_; }

private:
    const ExtViewModuleInfo& module_;
    ExtViewHandle handle_ = nullptr;
};
