#pragma once
// Work handed to one of the platform's work queues, with an event that tells when it has run.
// The queue holds a reference until the work has run, so work that ends after its caller gave
// up waiting still finds everything it owns.

#include "common/Owned.h"

#include <windows.h>
#include <mfobjects.h>

#include <atomic>

class QueuedWork : public IMFAsyncCallback {
public:
    QueuedWork();
    QueuedWork(const QueuedWork&) = delete;
    QueuedWork& operator=(const QueuedWork&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetParameters(DWORD* flags, DWORD* queue) override;
    STDMETHODIMP Invoke(IMFAsyncResult* result) override;

    // Puts the work on the queue; the caller does not wait for it.
    HRESULT Queue(DWORD queue);
    // Waits at most waitMs for queued work to have run: false when it has not.
    bool Wait(DWORD waitMs) const;
    // Queue, then Wait: HRESULT_FROM_WIN32(ERROR_TIMEOUT) when the work has not run in time.
    HRESULT RunOn(DWORD queue, DWORD waitMs);

protected:
    virtual ~QueuedWork() = default;
    virtual void Run() = 0;

private:
    std::atomic<LONG> refCount_{1};
    OwnedEvent done_;
};

// The queue for work that may block for long: opening a file, tearing a session down.
DWORD LongWorkQueue();

// Returns once the work each of the platform's shared queues held when it was called has been
// taken up, or after waitMs per queue.
void LetQueuedWorkRun(DWORD waitMs);
