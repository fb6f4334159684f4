#include "host/PaneShot.h"

#include "common/Owned.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace demo {

namespace {

using MemoryDc = Owned<HDC, DeleteDC>;
using Bitmap = Owned<HBITMAP, CloseGdiObject>;

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

}  // namespace

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

}  // namespace demo
