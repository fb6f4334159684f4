#include "FakeSource.h"

FakeSource::FakeSource() = default;
FakeSource::~FakeSource() = default;

STDMETHODIMP FakeSource::GetEvent(DWORD, IMFMediaEvent**) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::BeginGetEvent(IMFAsyncCallback*, IUnknown*) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::GetCharacteristics(DWORD*) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::CreatePresentationDescriptor(IMFPresentationDescriptor**) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) { return E_NOTIMPL; }
STDMETHODIMP FakeSource::Stop() { return E_NOTIMPL; }
STDMETHODIMP FakeSource::Pause() { return E_NOTIMPL; }

STDMETHODIMP FakeSource::Shutdown() {
    ++shutdowns;
    if (onShutdown) onShutdown();
    return S_OK;
}
