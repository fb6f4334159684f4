#pragma once
// A media source double for the player's requests: it only counts its Shutdown calls (and can
// report each one), since the player never asks a source for anything else.

#include "common/ComObject.h"

#include <windows.h>
#include <mfidl.h>

#include <atomic>
#include <functional>

class FakeSource : public ComObject<WithBases<IMFMediaSource, IMFMediaEventGenerator>> {
public:
    FakeSource();

    STDMETHODIMP GetEvent(DWORD flags, IMFMediaEvent** event) override;
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override;
    STDMETHODIMP EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override;
    STDMETHODIMP QueueEvent(MediaEventType type, REFGUID extendedType, HRESULT status,
                            const PROPVARIANT* value) override;

    STDMETHODIMP GetCharacteristics(DWORD* characteristics) override;
    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override;
    STDMETHODIMP Start(IMFPresentationDescriptor* descriptor, const GUID* timeFormat,
                       const PROPVARIANT* start) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Shutdown() override;

    std::atomic<int> shutdowns{0};
    std::function<void()> onShutdown;

private:
    ~FakeSource() override;
};
