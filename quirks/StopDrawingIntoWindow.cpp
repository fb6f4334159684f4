#include "quirks/StopDrawingIntoWindow.h"

#include <windows.h>
#include <d3d9.h>
#include <dxva2api.h>
#include <mfidl.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Waits until the device has carried out everything queued on it before now.
void FinishQueuedDrawing(IMFVideoDisplayControl* display) {
    ComPtr<IMFGetService> services;
    ComPtr<IDirect3DDeviceManager9> devices;
    HANDLE handle = nullptr;
    if (FAILED(display->QueryInterface(IID_PPV_ARGS(&services)))) return;
    if (FAILED(services->GetService(MR_VIDEO_ACCELERATION_SERVICE, IID_PPV_ARGS(&devices)))) return;
    if (FAILED(devices->OpenDeviceHandle(&handle))) return;
    ComPtr<IDirect3DDevice9> device;
    if (SUCCEEDED(devices->LockDevice(handle, &device, TRUE))) {
        ComPtr<IDirect3DQuery9> done;
        if (SUCCEEDED(device->CreateQuery(D3DQUERYTYPE_EVENT, &done)) && SUCCEEDED(done->Issue(D3DISSUE_END))) {
            const ULONGLONG deadline = GetTickCount64() + DRAWING_FINISH_WAIT_MS;
            while (done->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE && GetTickCount64() < deadline) Sleep(1);
        }
        devices->UnlockDevice(handle, FALSE);
    }
    devices->CloseDeviceHandle(handle);
}

}  // namespace

// Wine 10's presenter (IMFVideoPresenter of the EVR) draws each frame from its streaming thread
// through a Direct3D 9 swap chain on the host's window, and Direct3D queues the drawing on a
// thread of its own. When that drawing meets the host's window being destroyed, Wine reads the
// size of a window that no longer exists, asks the X server for a window of that unset size, and
// the X error ends the host's process ("BadAlloc ... X_ConfigureWindow"). The session's close,
// which stops the drawing too, may end long after the host destroyed its window. The test
// Open.OpenAfterAttachLeavesTheViewerUnattached checks that nothing is drawn once the viewer
// has let go of the window.
void StopDrawingIntoWindow(IMFVideoDisplayControl* display) {
    if (!display) return;
    ComPtr<IMFVideoPresenter> presenter;
    if (FAILED(display->QueryInterface(IID_PPV_ARGS(&presenter)))) return;
    presenter->ProcessMessage(MFVP_MESSAGE_ENDSTREAMING, 0);
    FinishQueuedDrawing(display);
}
