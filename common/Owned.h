#pragma once
// A move-only owner of one Win32 handle, closed with the function it was made for.

#include <windows.h>

#include <utility>

template <typename Handle, auto Close>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    ~Owned() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release() { return std::exchange(handle_, nullptr); }
    void reset(Handle handle = nullptr) {
        if (handle_) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

inline void CloseGdiObject(HGDIOBJ object) { DeleteObject(object); }

using OwnedEvent = Owned<HANDLE, CloseHandle>;
using OwnedIcon = Owned<HICON, DestroyIcon>;
using OwnedMenu = Owned<HMENU, DestroyMenu>;
using OwnedFont = Owned<HFONT, CloseGdiObject>;
using OwnedGdiObject = Owned<HGDIOBJ, CloseGdiObject>;
