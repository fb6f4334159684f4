#include "host/support/HostedViewer.h"

bool HostedViewer::Create() {
    handle_ = module_.create(nullptr);
    return handle_ != nullptr;
}

bool HostedViewer::Open(const std::wstring& path) {
    return module_.open(handle_, path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 0;
}

bool HostedViewer::Attach(HWND window) { return module_.attach(handle_, window) == 0; }

void HostedViewer::Draw(HDC dc, const RECT& source, const RECT& destination) {
    module_.draw(handle_, dc, &source, &destination, nullptr);
}

int32_t HostedViewer::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    return module_.message(handle_, message, wParam, lParam);
}

void HostedViewer::Destroy() {
    if (!handle_) return;
    module_.destroy(handle_);
    handle_ = nullptr;
}
