#include "player/QueuedWork.h"

#include <mfapi.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <new>

using Microsoft::WRL::ComPtr;

QueuedWork::QueuedWork() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

STDMETHODIMP QueuedWork::QueryInterface(REFIID iid, void** object) {
    static const QITAB interfaces[] = {
        {&__uuidof(IMFAsyncCallback), 0},
        {nullptr, 0},
    };
    return QISearch(this, interfaces, iid, object);
}

STDMETHODIMP_(ULONG) QueuedWork::AddRef() { return static_cast<ULONG>(++refCount_); }

STDMETHODIMP_(ULONG) QueuedWork::Release() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

STDMETHODIMP QueuedWork::GetParameters(DWORD*, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP QueuedWork::Invoke(IMFAsyncResult*) {
    Run();
    SetEvent(done_.get());
    return S_OK;
}

HRESULT QueuedWork::Queue(DWORD queue) {
    if (!done_) return E_OUTOFMEMORY;
    return MFPutWorkItem(queue, this, nullptr);
}

bool QueuedWork::Wait(DWORD waitMs) const { return WaitForSingleObject(done_.get(), waitMs) == WAIT_OBJECT_0; }

HRESULT QueuedWork::RunOn(DWORD queue, DWORD waitMs) {
    const HRESULT hr = Queue(queue);
    if (FAILED(hr)) return hr;
    return Wait(waitMs) ? S_OK : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

DWORD LongWorkQueue() { return MFASYNC_CALLBACK_QUEUE_LONG_FUNCTION; }

namespace {

class Marker final : public QueuedWork {
    void Run() override {}
};

}  // namespace

void LetQueuedWorkRun(DWORD waitMs) {
    for (const DWORD queue : {MFASYNC_CALLBACK_QUEUE_STANDARD, MFASYNC_CALLBACK_QUEUE_MULTITHREADED}) {
        ComPtr<QueuedWork> marker;
        marker.Attach(new (std::nothrow) Marker);
        if (marker) marker->RunOn(queue, waitMs);
    }
}
