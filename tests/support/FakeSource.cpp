#include "FakeSource.h"

FakeSource::FakeSource() = default;
FakeSource::~FakeSource() = default;

STDMETHODIMP FakeSource::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IMFMediaEventGenerator) || iid == __uuidof(IMFMediaSource)) {
        *object = static_cast<IMFMediaSource*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FakeSource::AddRef() { return static_cast<ULONG>(++refCount_); }

STDMETHODIMP_(ULONG) FakeSource::Release() {
    const LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

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
