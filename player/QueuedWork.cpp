#include "player/QueuedWork.h"

#include "common/SentMessages.h"

#include <mfapi.h>
#include <objbase.h>
#include <wrl/client.h>

#include <new>

using Microsoft::WRL::ComPtr;

QueuedWork::QueuedWork() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

STDMETHODIMP QueuedWork::GetParameters(DWORD*, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP QueuedWork::Invoke(IMFAsyncResult*) {
    Run();
    SetEvent(done_.get());
    return S_OK;
}

HRESULT QueuedWork::RunOn(DWORD queue, DWORD waitMs, bool letSentMessagesThrough) {
    if (!done_) return HRESULT_FROM_WIN32(GetLastError());
    const HRESULT hr = MFPutWorkItem(queue, this, nullptr);
    if (FAILED(hr)) return hr;
    return WaitUntilDone(waitMs, letSentMessagesThrough);
}

HRESULT QueuedWork::RunOnOwnThread(DWORD waitMs, bool letSentMessagesThrough) {
    if (!done_) return HRESULT_FROM_WIN32(GetLastError());
    AddRef();
    const HANDLE thread = CreateThread(nullptr, 0, &QueuedWork::ThreadMain, this, 0, nullptr);
    if (!thread) {
        Release();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    CloseHandle(thread);
    return WaitUntilDone(waitMs, letSentMessagesThrough);
}

bool QueuedWork::Done() const { return WaitForSingleObject(done_.get(), 0) == WAIT_OBJECT_0; }

DWORD WINAPI QueuedWork::ThreadMain(void* work) {
    // The platform's objects expect the threads that call them to have joined the process's
    // multithreaded apartment, as its own work-queue threads have.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    auto* self = static_cast<QueuedWork*>(work);
    self->Invoke(nullptr);
    self->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

HRESULT QueuedWork::WaitUntilDone(DWORD waitMs, bool letSentMessagesThrough) {
    const bool done = letSentMessagesThrough ? WaitLettingSentMessagesThrough(done_.get(), waitMs)
                                             : WaitForSingleObject(done_.get(), waitMs) == WAIT_OBJECT_0;
    return done ? S_OK : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

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
