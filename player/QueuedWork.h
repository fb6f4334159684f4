#pragma once
// Work handed to one of the platform's work queues, with an event that tells when it has run.
// The queue holds a reference until the work has run, so work that ends after its caller gave
// up waiting still finds everything it owns.

#include "common/ComObject.h"
#include "common/Owned.h"

#include <windows.h>
#include <mfobjects.h>

class QueuedWork : public ComObject<IMFAsyncCallback> {
public:
    QueuedWork();

    STDMETHODIMP GetParameters(DWORD* flags, DWORD* queue) override;
    STDMETHODIMP Invoke(IMFAsyncResult* result) override;

    // Puts the work on the queue and waits at most waitMs for it to have run:
    // HRESULT_FROM_WIN32(ERROR_TIMEOUT) when it has not. With letSentMessagesThrough the calling
    // thread meanwhile takes the messages other threads send it, which work that reaches a
    // window of that thread waits for.
    HRESULT RunOn(DWORD queue, DWORD waitMs, bool letSentMessagesThrough = false);

    // The same on a thread of the work's own, for work that may never end: on a shared queue it
    // would hold one of the few threads that other work, such as opening a file, waits for.
    HRESULT RunOnOwnThread(DWORD waitMs, bool letSentMessagesThrough = false);

    // Whether the work has run, for a caller that gave up waiting.
    bool Done() const;

protected:
    virtual void Run() = 0;

private:
    static DWORD WINAPI ThreadMain(void* work);
    HRESULT WaitUntilDone(DWORD waitMs, bool letSentMessagesThrough);

    OwnedEvent done_;
};

// Returns once the work each of the platform's shared queues held when it was called has been
// taken up, or after waitMs per queue.
void LetQueuedWorkRun(DWORD waitMs);
