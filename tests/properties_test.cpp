#include "TestSupport.h"

#include "common/ComObject.h"
#include "player/CPlayer.h"
#include "player/InfoTextBuffer.h"
#include "viewer/ExtViewMF.h"

#include <gtest/gtest.h>
#include <mfapi.h>
#include <mferror.h>
#include <wrl/client.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

template <typename T, typename... Arguments>
ComPtr<T> Make(Arguments&&... arguments) {
    ComPtr<T> object;
    object.Attach(new T(std::forward<Arguments>(arguments)...));
    return object;
}

wchar_t* CopyToTaskMemory(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy) memcpy(copy, text.c_str(), bytes);
    return copy;
}

struct FakeProperty {
    std::wstring name;
    VARTYPE type = VT_LPWSTR;
    std::wstring text;
    ULONG number = 0;
    HRESULT status = S_OK;
};

FakeProperty Text(const wchar_t* name, const wchar_t* text) { return {name, VT_LPWSTR, text}; }
FakeProperty Number(const wchar_t* name, ULONG number) { return {name, VT_UI4, L"", number}; }
FakeProperty Unreadable(const wchar_t* name) { return {name, VT_LPWSTR, L"never read", 0, E_FAIL}; }

class FakeMetadata : public ComObject<IMFMetadata> {
public:
    FakeMetadata(std::vector<FakeProperty> properties, bool namesAsVector)
        : properties_(std::move(properties)), namesAsVector_(namesAsVector) {}

    STDMETHODIMP SetLanguage(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetLanguage(LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAllLanguages(PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP SetProperty(LPCWSTR, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP DeleteProperty(LPCWSTR) override { return E_NOTIMPL; }

    STDMETHODIMP GetProperty(LPCWSTR name, PROPVARIANT* value) override {
        PropVariantInit(value);
        for (const auto& property : properties_) {
            if (property.name != name) continue;
            if (FAILED(property.status)) return property.status;
            value->vt = property.type;
            if (property.type == VT_LPWSTR) value->pwszVal = CopyToTaskMemory(property.text);
            if (property.type == VT_UI4) value->ulVal = property.number;
            return S_OK;
        }
        return MF_E_PROPERTY_NOT_FOUND;
    }

    STDMETHODIMP GetAllPropertyNames(PROPVARIANT* names) override {
        PropVariantInit(names);
        if (!namesAsVector_) return S_OK;
        const auto count = static_cast<ULONG>(properties_.size());
        names->vt = VT_VECTOR | VT_LPWSTR;
        names->calpwstr.cElems = count;
        names->calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(count * sizeof(LPWSTR)));
        for (ULONG i = 0; i < count; ++i) names->calpwstr.pElems[i] = CopyToTaskMemory(properties_[i].name);
        return S_OK;
    }

private:
    ~FakeMetadata() override = default;
    std::vector<FakeProperty> properties_;
    bool namesAsVector_;
};

class FakeMetadataProvider : public ComObject<IMFMetadataProvider> {
public:
    explicit FakeMetadataProvider(ComPtr<IMFMetadata> metadata) : metadata_(std::move(metadata)) {}

    STDMETHODIMP GetMFMetadata(IMFPresentationDescriptor* descriptor, DWORD streamId, DWORD flags,
                               IMFMetadata** metadata) override {
        *metadata = nullptr;
        // Only the presentation-wide metadata is offered.
        if (!descriptor || streamId != 0 || flags != 0) return E_INVALIDARG;
        return metadata_.CopyTo(metadata);
    }

private:
    ~FakeMetadataProvider() override = default;
    ComPtr<IMFMetadata> metadata_;
};

// A source made of real presentation and stream descriptors holding chosen media types, with
// a metadata provider service when one is given.
class ReportSource : public ComObject<WithBases<IMFMediaSource, IMFMediaEventGenerator>, IMFGetService> {
public:
    ReportSource(ComPtr<IMFPresentationDescriptor> descriptor, ComPtr<IMFMetadataProvider> provider)
        : descriptor_(std::move(descriptor)), provider_(std::move(provider)) {}

    STDMETHODIMP GetService(REFGUID service, REFIID iid, void** object) override {
        *object = nullptr;
        if (service != MF_METADATA_PROVIDER_SERVICE || !provider_) return MF_E_UNSUPPORTED_SERVICE;
        return provider_->QueryInterface(iid, object);
    }

    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override {
        *descriptor = nullptr;
        if (!descriptor_) return MF_E_SHUTDOWN;
        return descriptor_->Clone(descriptor);
    }

    STDMETHODIMP GetEvent(DWORD, IMFMediaEvent**) override { return E_NOTIMPL; }
    STDMETHODIMP BeginGetEvent(IMFAsyncCallback*, IUnknown*) override { return E_NOTIMPL; }
    STDMETHODIMP EndGetEvent(IMFAsyncResult*, IMFMediaEvent**) override { return E_NOTIMPL; }
    STDMETHODIMP QueueEvent(MediaEventType, REFGUID, HRESULT, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCharacteristics(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Start(IMFPresentationDescriptor*, const GUID*, const PROPVARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    STDMETHODIMP Shutdown() override { return S_OK; }

protected:
    ~ReportSource() override = default;

private:
    ComPtr<IMFPresentationDescriptor> descriptor_;
    ComPtr<IMFMetadataProvider> provider_;
};

// A source that the platform holds up: it answers only once let go, or after ten seconds.
class StalledSource final : public ReportSource {
public:
    StalledSource() : ReportSource(nullptr, nullptr) {}

    STDMETHODIMP CreatePresentationDescriptor(IMFPresentationDescriptor** descriptor) override {
        WaitForSingleObject(letGo_.get(), 10000);
        return ReportSource::CreatePresentationDescriptor(descriptor);
    }

    void LetGo() { SetEvent(letGo_.get()); }

private:
    ~StalledSource() override = default;
    OwnedEvent letGo_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

UINT64 Pair(UINT32 high, UINT32 low) { return (static_cast<UINT64>(high) << 32) | low; }

ComPtr<IMFMediaType> MediaType(const GUID& major) {
    ComPtr<IMFMediaType> type;
    EXPECT_EQ(MFCreateMediaType(&type), S_OK);
    type->SetGUID(MF_MT_MAJOR_TYPE, major);
    return type;
}

ComPtr<IMFMediaType> VideoType(UINT64 size, UINT64 rate, UINT64 aspect) {
    ComPtr<IMFMediaType> type = MediaType(MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_NV12);
    type->SetUINT64(MF_MT_FRAME_SIZE, size);
    type->SetUINT64(MF_MT_FRAME_RATE, rate);
    type->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, aspect);
    return type;
}

ComPtr<IMFMediaType> AudioType(UINT32 bytesPerSecond, UINT32 bits, UINT32 rate, UINT32 channels) {
    ComPtr<IMFMediaType> type = MediaType(MFMediaType_Audio);
    type->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
    type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, bytesPerSecond);
    type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bits);
    type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
    type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
    return type;
}

// One stream per media type, each type current in its stream's handler; only the first stream
// is selected.
ComPtr<IMFPresentationDescriptor> Presentation(const std::vector<ComPtr<IMFMediaType>>& types) {
    std::vector<ComPtr<IMFStreamDescriptor>> streams;
    std::vector<IMFStreamDescriptor*> raw;
    for (DWORD id = 0; id < types.size(); ++id) {
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        IMFMediaType* offered = types[id].Get();
        EXPECT_EQ(MFCreateStreamDescriptor(id + 1, 1, &offered, &stream), S_OK);
        EXPECT_EQ(stream->GetMediaTypeHandler(&handler), S_OK);
        EXPECT_EQ(handler->SetCurrentMediaType(offered), S_OK);
        streams.push_back(stream);
        raw.push_back(stream.Get());
    }
    ComPtr<IMFPresentationDescriptor> descriptor;
    EXPECT_EQ(MFCreatePresentationDescriptor(static_cast<DWORD>(raw.size()), raw.data(), &descriptor), S_OK);
    for (DWORD index = 0; index < raw.size(); ++index) {
        if (index == 0) {
            descriptor->SelectStream(index);
        } else {
            descriptor->DeselectStream(index);
        }
    }
    return descriptor;
}

ComPtr<IMFMediaSource> SourceWith(const std::vector<ComPtr<IMFMediaType>>& types,
                                  std::vector<FakeProperty> properties = {}, bool namesAsVector = true) {
    ComPtr<IMFMetadataProvider> provider;
    if (!properties.empty() || !namesAsVector) {
        provider = Make<FakeMetadataProvider>(Make<FakeMetadata>(std::move(properties), namesAsVector));
    }
    ComPtr<IMFMediaSource> source = Make<ReportSource>(Presentation(types), provider);
    return source;
}

std::wstring Report(IMFMediaSource* source) {
    InfoTextBuffer info;
    EXPECT_EQ(BuildReportWithin(source, 5000, info), S_OK);
    EXPECT_EQ(info.capacity, InfoTextBuffer::CAPACITY);
    EXPECT_EQ(static_cast<size_t>(info.length), wcslen(info.buffer.get()));
    return info.buffer.get();
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends in a line feed";
    return lines;
}

class PropertiesReport : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK); }
    void TearDown() override { MFShutdown(); }
};

// Whether the source's first stream of the major type carries the attribute in its current type.
bool CurrentTypeHas(IMFMediaSource* source, const GUID& major, const GUID& key) {
    ComPtr<IMFPresentationDescriptor> descriptor;
    DWORD count = 0;
    if (FAILED(source->CreatePresentationDescriptor(&descriptor))) return false;
    descriptor->GetStreamDescriptorCount(&count);
    for (DWORD index = 0; index < count; ++index) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        ComPtr<IMFMediaType> type;
        GUID found{};
        if (FAILED(descriptor->GetStreamDescriptorByIndex(index, &selected, &stream))) continue;
        if (FAILED(stream->GetMediaTypeHandler(&handler)) || FAILED(handler->GetCurrentMediaType(&type))) continue;
        if (SUCCEEDED(type->GetMajorType(&found)) && found == major) return SUCCEEDED(type->GetItem(key, nullptr));
    }
    return false;
}

int NumberAfter(const std::wstring& line, const std::wstring& label) {
    if (line.compare(0, label.size(), label) != 0) return -1;
    return std::stoi(line.substr(label.size()));
}

TEST_F(PropertiesReport, RealSampleListsItsVideoAndAudioStreamsInOrder) {
    ExtViewMF viewer;
    ASSERT_EQ(viewer.Open(MediaPath(L"sample.mp4").c_str()), 0);
    const ComPtr<IMFMediaSource> owned = viewer.player->Source();
    IMFMediaSource* source = owned.Get();

    const std::wstring report = Report(source);
    std::vector<std::wstring> expected{L"\x25A0 Video Stream", L"Frame Size : 320 x 240", L"Frame Rate : 25.00 fps"};
    // A decoder that gives its frames no aspect ratio gets no line for it.
    if (CurrentTypeHas(source, MFMediaType_Video, MF_MT_PIXEL_ASPECT_RATIO))
        expected.push_back(L"Pixel Aspect Ratio : 1:1");
    expected.push_back(L"\x25A0 Audio Stream");
    const auto lines = Lines(report);
    ASSERT_EQ(lines.size(), expected.size() + 4) << Narrow(report);
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + expected.size()), expected) << Narrow(report);

    const auto audio = lines.begin() + expected.size();
    EXPECT_GT(NumberAfter(audio[0], L"Average bytes per second : "), 0) << Narrow(audio[0]);
    const int bits = NumberAfter(audio[1], L"bits per sample : ");
    EXPECT_TRUE(bits == 16 || bits == 32) << Narrow(audio[1]);
    EXPECT_EQ(audio[2], L"Samples per second : 44100");
    EXPECT_EQ(audio[3], L"Channels : 1");

    InfoTextBuffer info;
    ASSERT_TRUE(info.BuildReport(source));
    ASSERT_TRUE(info.BuildReport(source));
    EXPECT_EQ(std::wstring(info.buffer.get()), report) << "every report starts from an empty buffer";
    EXPECT_EQ(static_cast<size_t>(info.length), report.size());
}

TEST_F(PropertiesReport, StringMetadataComesFirstAlignedAndOtherTypesAreLeftOut) {
    const auto source = SourceWith({VideoType(Pair(640, 360), Pair(30000, 1001), Pair(4, 3))},
                                   {Text(L"Title", L"Colour Bars"), Number(L"Rating", 5), Unreadable(L"Broken"),
                                    Text(L"Artist", L"moviepane"), Text(L"AVeryLongPropertyName", L"kept whole")});
    EXPECT_EQ(Report(source.Get()),
              L"\x25A0 Metadata\n"
              L"Title           \t: Colour Bars\n"
              L"Artist          \t: moviepane\n"
              L"AVeryLongPropertyName\t: kept whole\n"
              L"\x25A0 Video Stream\n"
              L"Frame Size : 640 x 360\n"
              L"Frame Rate : 29.97 fps\n"
              L"Pixel Aspect Ratio : 4:3\n");
}

TEST_F(PropertiesReport, MetadataWithoutStringsOrWithoutANameListHasNoHead) {
    const std::vector<ComPtr<IMFMediaType>> audio{AudioType(16000, 16, 8000, 2)};
    const std::wstring streams =
        L"\x25A0 Audio Stream\nAverage bytes per second : 16000\nbits per sample : 16\n"
        L"Samples per second : 8000\nChannels : 2\n";
    EXPECT_EQ(Report(SourceWith(audio, {Number(L"Rating", 5), Unreadable(L"Title")}).Get()), streams);
    EXPECT_EQ(Report(SourceWith(audio, {}, false).Get()), streams);
    EXPECT_EQ(Report(SourceWith(audio).Get()), streams);
}

TEST_F(PropertiesReport, StreamsAreListedInDescriptorOrderSelectedOrNot) {
    const auto source = SourceWith({AudioType(4000000000u, 24, 48000, 6), MediaType(MFMediaType_Script),
                                    VideoType(Pair(1280, 720), Pair(25, 0), Pair(1, 1))});
    EXPECT_EQ(Report(source.Get()),
              L"\x25A0 Audio Stream\n"
              L"Average bytes per second : -294967296\n"
              L"bits per sample : 24\n"
              L"Samples per second : 48000\n"
              L"Channels : 6\n"
              L"\x25A0 Video Stream\n"
              L"Frame Size : 1280 x 720\n"
              L"Pixel Aspect Ratio : 1:1\n");
}

TEST_F(PropertiesReport, MissingAttributesLeaveOutOnlyTheirLines) {
    ComPtr<IMFMediaType> video = MediaType(MFMediaType_Video);
    video->SetUINT64(MF_MT_FRAME_RATE, Pair(50, 1));
    ComPtr<IMFMediaType> audio = MediaType(MFMediaType_Audio);
    audio->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    EXPECT_EQ(Report(SourceWith({video, audio}).Get()),
              L"\x25A0 Video Stream\nFrame Rate : 50.00 fps\n\x25A0 Audio Stream\nChannels : 2\n");
}

TEST_F(PropertiesReport, ASourceWithoutADescriptorGivesAnEmptyReport) {
    const ComPtr<IMFMediaSource> source = Make<ReportSource>(nullptr, nullptr);
    EXPECT_EQ(Report(source.Get()), L"");
}

TEST_F(PropertiesReport, ASourceThatDoesNotAnswerHoldsTheCallerOnlyUntilTheBound) {
    const ComPtr<StalledSource> source = Make<StalledSource>();
    InfoTextBuffer info;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(BuildReportWithin(source.Get(), 300, info), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_LT(GetTickCount64() - start, 5000u) << "the call waited for the source";
    EXPECT_EQ(info.buffer, nullptr);

    // The late report lands in its own buffer, never in this one.
    source->LetGo();
    EXPECT_EQ(BuildReportWithin(source.Get(), 5000, info), S_OK);
    EXPECT_EQ(std::wstring(info.buffer.get()), L"");
}

std::wstring Repeated(wchar_t c, size_t count) { return std::wstring(count, c); }

TEST(InfoTextBufferAppend, LinesThatDoNotFitAreDroppedAndLaterOnesThatFitAreKept) {
    InfoTextBuffer info;
    ASSERT_TRUE(info.BuildReport(nullptr));
    ASSERT_EQ(info.length, 0);
    for (int i = 0; i < 65; ++i) info.AppendFormat(L"%ls", Repeated(L'a', 1000).c_str());
    info.AppendFormat(L"%ls", Repeated(L'b', 525).c_str());
    ASSERT_EQ(info.length, 65525);

    // Eleven characters and the terminator need twelve of the eleven left.
    info.AppendFormat(L"%ls", Repeated(L'c', 11).c_str());
    EXPECT_EQ(info.length, 65525);
    info.AppendFormat(L"%ls", Repeated(L'd', 10).c_str());
    EXPECT_EQ(info.length, 65535);
    EXPECT_EQ(std::wstring(info.buffer.get() + 65525), Repeated(L'd', 10));
    EXPECT_EQ(info.buffer[InfoTextBuffer::CAPACITY - 1], L'\0');

    info.AppendFormat(L"%ls", L"e");
    EXPECT_EQ(info.length, 65535);
    EXPECT_EQ(info.buffer[InfoTextBuffer::CAPACITY - 1], L'\0');
}

TEST(InfoTextBufferAppend, ALineLongerThanTheLineBufferIsCut) {
    InfoTextBuffer info;
    ASSERT_TRUE(info.BuildReport(nullptr));
    info.AppendFormat(L"%ls: %ls\n", L"Comment", Repeated(L'x', 3000).c_str());
    ASSERT_EQ(info.length, InfoTextBuffer::LINE_CHARS - 1);
    EXPECT_EQ(std::wstring(info.buffer.get()), L"Comment: " + Repeated(L'x', InfoTextBuffer::LINE_CHARS - 10));
    info.AppendFormat(L"%d\n", 42);
    EXPECT_EQ(std::wstring(info.buffer.get() + InfoTextBuffer::LINE_CHARS - 1), L"42\n");
}

TEST(InfoTextBufferAppend, NothingIsAppendedBeforeTheFirstReport) {
    InfoTextBuffer info;
    info.AppendFormat(L"%ls\n", L"no buffer yet");
    EXPECT_EQ(info.buffer, nullptr);
    EXPECT_EQ(info.length, 0);
}

}  // namespace
