#include "player/InfoTextBuffer.h"

#include "player/QueuedWork.h"

#include <mfapi.h>
#include <propvarutil.h>
#include <wrl/client.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <new>

using Microsoft::WRL::ComPtr;

namespace {

// Frees a PROPVARIANT when it goes out of scope.
struct ScopedPropVariant {
    PROPVARIANT value;
    ScopedPropVariant() { PropVariantInit(&value); }
    ~ScopedPropVariant() { PropVariantClear(&value); }
    ScopedPropVariant(const ScopedPropVariant&) = delete;
    ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
};

bool ReadUINT64(IMFAttributes* attributes, REFGUID key, UINT64* value) {
    ScopedPropVariant item;
    if (FAILED(attributes->GetItem(key, &item.value)) || item.value.vt != VT_UI8) return false;
    *value = item.value.uhVal.QuadPart;
    return true;
}

bool ReadUINT32(IMFAttributes* attributes, REFGUID key, UINT32* value) {
    ScopedPropVariant item;
    if (FAILED(attributes->GetItem(key, &item.value)) || item.value.vt != VT_UI4) return false;
    *value = item.value.ulVal;
    return true;
}

int High(UINT64 value) { return static_cast<int>(static_cast<UINT32>(value >> 32)); }
int Low(UINT64 value) { return static_cast<int>(static_cast<UINT32>(value)); }

// The report's own buffer, handed over only when it was built in time.
class ReportWork final : public QueuedWork {
public:
    explicit ReportWork(IMFMediaSource* source) : source_(source) {}

    InfoTextBuffer report;
    bool built = false;

private:
    void Run() override {
        built = report.BuildReport(source_.Get());
        source_.Reset();
    }

    ComPtr<IMFMediaSource> source_;
};

}  // namespace

HRESULT BuildReportWithin(IMFMediaSource* source, DWORD waitMs, InfoTextBuffer& report) {
    ComPtr<ReportWork> work;
    work.Attach(new (std::nothrow) ReportWork(source));
    if (!work) return E_OUTOFMEMORY;
    const HRESULT hr = work->RunOnOwnThread(waitMs, true);
    if (hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)) return hr;
    // Without a thread of its own, the report is built here.
    if (FAILED(hr)) return report.BuildReport(source) ? S_OK : E_OUTOFMEMORY;
    if (!work->built) return E_OUTOFMEMORY;
    report.buffer = std::move(work->report.buffer);
    report.capacity = work->report.capacity;
    report.length = work->report.length;
    return S_OK;
}

bool InfoTextBuffer::BuildReport(IMFMediaSource* source) {
    buffer.reset(new (std::nothrow) wchar_t[CAPACITY]);
    capacity = buffer ? CAPACITY : 0;
    length = 0;
    if (!buffer) return false;
    buffer[0] = L'\0';
    if (!source) return true;
    AppendMetadata(source);
    AppendStreamFormats(source);
    return true;
}

void InfoTextBuffer::AppendMetadata(IMFMediaSource* source) {
    ComPtr<IMFMetadataProvider> provider;
    ComPtr<IMFPresentationDescriptor> descriptor;
    ComPtr<IMFMetadata> metadata;
    ScopedPropVariant names;
    if (FAILED(MFGetService(source, MF_METADATA_PROVIDER_SERVICE, IID_PPV_ARGS(&provider)))) return;
    if (FAILED(source->CreatePresentationDescriptor(&descriptor))) return;
    if (FAILED(provider->GetMFMetadata(descriptor.Get(), 0, 0, &metadata))) return;
    if (FAILED(metadata->GetAllPropertyNames(&names.value))) return;
    if (names.value.vt != (VT_VECTOR | VT_LPWSTR)) return;

    bool headWritten = false;
    for (ULONG i = 0; i < names.value.calpwstr.cElems; ++i) {
        const wchar_t* name = names.value.calpwstr.pElems[i];
        ScopedPropVariant property;
        if (FAILED(metadata->GetProperty(name, &property.value))) continue;
        if (property.value.vt != VT_LPWSTR) continue;
        if (!headWritten) {
            AppendFormat(L"\x25A0 Metadata\n");
            headWritten = true;
        }
        AppendFormat(L"%-16ls\t: %ls\n", name, property.value.pwszVal);
    }
}

void InfoTextBuffer::AppendStreamFormats(IMFMediaSource* source) {
    ComPtr<IMFPresentationDescriptor> descriptor;
    if (FAILED(source->CreatePresentationDescriptor(&descriptor))) return;
    DWORD count = 0;
    if (FAILED(descriptor->GetStreamDescriptorCount(&count))) count = 0;

    for (DWORD index = 0; index < count; ++index) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        ComPtr<IMFMediaType> type;
        GUID major{};
        if (FAILED(descriptor->GetStreamDescriptorByIndex(index, &selected, &stream))) continue;
        if (FAILED(stream->GetMediaTypeHandler(&handler))) continue;
        if (FAILED(handler->GetCurrentMediaType(&type))) continue;
        if (FAILED(type->GetMajorType(&major))) continue;

        UINT64 pair = 0;
        UINT32 number = 0;
        if (major == MFMediaType_Video) {
            AppendFormat(L"\x25A0 Video Stream\n");
            if (ReadUINT64(type.Get(), MF_MT_FRAME_SIZE, &pair))
                AppendFormat(L"Frame Size : %d x %d\n", High(pair), Low(pair));
            if (ReadUINT64(type.Get(), MF_MT_FRAME_RATE, &pair) && static_cast<UINT32>(pair) != 0) {
                const float rate = static_cast<float>(static_cast<UINT32>(pair >> 32)) /
                                   static_cast<float>(static_cast<UINT32>(pair));
                AppendFormat(L"Frame Rate : %.2f fps\n", static_cast<double>(rate));
            }
            if (ReadUINT64(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, &pair))
                AppendFormat(L"Pixel Aspect Ratio : %d:%d\n", High(pair), Low(pair));
        } else if (major == MFMediaType_Audio) {
            AppendFormat(L"\x25A0 Audio Stream\n");
            if (ReadUINT32(type.Get(), MF_MT_AUDIO_AVG_BYTES_PER_SECOND, &number))
                AppendFormat(L"Average bytes per second : %d\n", static_cast<int>(number));
            if (ReadUINT32(type.Get(), MF_MT_AUDIO_BITS_PER_SAMPLE, &number))
                AppendFormat(L"bits per sample : %d\n", static_cast<int>(number));
            if (ReadUINT32(type.Get(), MF_MT_AUDIO_SAMPLES_PER_SECOND, &number))
                AppendFormat(L"Samples per second : %d\n", static_cast<int>(number));
            if (ReadUINT32(type.Get(), MF_MT_AUDIO_NUM_CHANNELS, &number))
                AppendFormat(L"Channels : %d\n", static_cast<int>(number));
        }
    }
}

void InfoTextBuffer::AppendFormat(const wchar_t* format, ...) {
    wchar_t line[LINE_CHARS] = {};
    va_list arguments;
    va_start(arguments, format);
    // A line that does not fit is cut at the line's end rather than overrunning it.
    _vsnwprintf_s(line, LINE_CHARS, _TRUNCATE, format, arguments);
    va_end(arguments);

    OutputDebugStringW(line);
    const int lineLength = static_cast<int>(wcslen(line));
    if (!buffer || lineLength >= capacity - length) return;
    wmemcpy(buffer.get() + length, line, static_cast<size_t>(lineLength) + 1);
    length += lineLength;
}
