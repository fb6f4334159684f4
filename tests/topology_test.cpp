#include "player/PictureGeometry.h"
#include "player/Topology.h"
#include "player/UprightTransform.h"

#include "TestSupport.h"
#include "common/RunsOnWine.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

struct Branch {
    ComPtr<IMFTopologyNode> source;
    ComPtr<IMFTopologyNode> output;
};

// Every source-stream node with the node its output 0 feeds, which must be input 0.
std::vector<Branch> Branches(IMFTopology* topology) {
    std::vector<Branch> branches;
    WORD count = 0;
    EXPECT_HRESULT_SUCCEEDED(topology->GetNodeCount(&count));
    for (WORD i = 0; i < count; ++i) {
        Branch branch;
        MF_TOPOLOGY_TYPE type = MF_TOPOLOGY_MAX;
        if (FAILED(topology->GetNode(i, &branch.source)) || FAILED(branch.source->GetNodeType(&type)) ||
            type != MF_TOPOLOGY_SOURCESTREAM_NODE) {
            continue;
        }
        DWORD input = 99;
        EXPECT_HRESULT_SUCCEEDED(branch.source->GetOutput(0, &branch.output, &input));
        EXPECT_EQ(input, 0u);
        branches.push_back(branch);
    }
    return branches;
}

ComPtr<IUnknown> Identity(IUnknown* object) {
    ComPtr<IUnknown> identity;
    if (object) object->QueryInterface(IID_PPV_ARGS(&identity));
    return identity;
}

ComPtr<IUnknown> NodeUnknown(IMFTopologyNode* node, REFGUID key) {
    ComPtr<IUnknown> value;
    EXPECT_HRESULT_SUCCEEDED(node->GetUnknown(key, IID_PPV_ARGS(&value)));
    return Identity(value.Get());
}

DWORD NodeStreamId(IMFTopologyNode* node) {
    ComPtr<IMFStreamDescriptor> stream;
    DWORD id = ~0u;
    if (SUCCEEDED(node->GetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, IID_PPV_ARGS(&stream)))) stream->GetStreamIdentifier(&id);
    return id;
}

struct StreamInfo {
    DWORD index = 0;
    DWORD id = 0;
    BOOL selected = FALSE;
    GUID major = GUID_NULL;
    ComPtr<IMFStreamDescriptor> descriptor;
};

std::vector<StreamInfo> Streams(IMFPresentationDescriptor* descriptor) {
    std::vector<StreamInfo> streams;
    DWORD count = 0;
    EXPECT_HRESULT_SUCCEEDED(descriptor->GetStreamDescriptorCount(&count));
    for (DWORD i = 0; i < count; ++i) {
        StreamInfo info;
        info.index = i;
        ComPtr<IMFMediaTypeHandler> handler;
        if (FAILED(descriptor->GetStreamDescriptorByIndex(i, &info.selected, &info.descriptor)) ||
            FAILED(info.descriptor->GetStreamIdentifier(&info.id)) ||
            FAILED(info.descriptor->GetMediaTypeHandler(&handler)) || FAILED(handler->GetMajorType(&info.major))) {
            ADD_FAILURE() << "stream " << i << " cannot be read";
            continue;
        }
        streams.push_back(info);
    }
    return streams;
}

ComPtr<IMFMediaType> CurrentType(IMFStreamDescriptor* stream) {
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFMediaType> type;
    if (SUCCEEDED(stream->GetMediaTypeHandler(&handler))) handler->GetCurrentMediaType(&type);
    return type;
}

GUID Subtype(IMFMediaType* type) {
    GUID subtype = GUID_NULL;
    if (type) type->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

ComPtr<IMFMediaType> VideoType(REFGUID subtype, bool compressed, UINT32 width = 320) {
    ComPtr<IMFMediaType> type;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMediaType(&type));
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, compressed ? FALSE : TRUE);
    type->SetUINT32(MF_MT_COMPRESSED, compressed ? TRUE : FALSE);
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, 240);
    return type;
}

// A one-stream descriptor made by the platform from the given types, the first one current.
ComPtr<IMFStreamDescriptor> MadeStream(DWORD id, std::vector<ComPtr<IMFMediaType>> types) {
    std::vector<IMFMediaType*> raw;
    for (auto& type : types) raw.push_back(type.Get());
    ComPtr<IMFStreamDescriptor> stream;
    ComPtr<IMFMediaTypeHandler> handler;
    EXPECT_HRESULT_SUCCEEDED(MFCreateStreamDescriptor(id, static_cast<DWORD>(raw.size()), raw.data(), &stream));
    if (stream && SUCCEEDED(stream->GetMediaTypeHandler(&handler))) handler->SetCurrentMediaType(raw[0]);
    return stream;
}

ComPtr<IMFPresentationDescriptor> MadeDescriptor(std::vector<ComPtr<IMFStreamDescriptor>> streams) {
    std::vector<IMFStreamDescriptor*> raw;
    for (auto& stream : streams) raw.push_back(stream.Get());
    ComPtr<IMFPresentationDescriptor> descriptor;
    EXPECT_HRESULT_SUCCEEDED(MFCreatePresentationDescriptor(static_cast<DWORD>(raw.size()), raw.data(), &descriptor));
    for (DWORD i = 0; descriptor && i < raw.size(); ++i) descriptor->SelectStream(i);
    return descriptor;
}

class TopologyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
        started_ = true;
        ComPtr<IMFSourceResolver> resolver;
        ComPtr<IUnknown> object;
        MF_OBJECT_TYPE type = MF_OBJECT_INVALID;
        ASSERT_HRESULT_SUCCEEDED(MFCreateSourceResolver(&resolver));
        ASSERT_HRESULT_SUCCEEDED(resolver->CreateObjectFromURL(MediaPath(L"sample.mp4").c_str(),
                                                               MF_RESOLUTION_MEDIASOURCE, nullptr, &type, &object));
        ASSERT_HRESULT_SUCCEEDED(object.As(&source));
        ASSERT_HRESULT_SUCCEEDED(source->CreatePresentationDescriptor(&descriptor));
    }

    void TearDown() override {
        topology.Reset();
        descriptor.Reset();
        if (source) source->Shutdown();
        source.Reset();
        if (started_) MFShutdown();
    }

    HRESULT Build(IMFPresentationDescriptor* from) {
        topology.Reset();
        return CreatePlaybackTopology(source.Get(), from, host.pane(), fileVideo, &topology);
    }

    const StreamInfo* Find(const std::vector<StreamInfo>& streams, REFGUID major) {
        for (const auto& stream : streams) {
            if (stream.major == major) return &stream;
        }
        return nullptr;
    }

    HostWindow host{320, 240};
    ComPtr<IMFMediaSource> source;
    ComPtr<IMFPresentationDescriptor> descriptor;
    ComPtr<IMFTopology> topology;
    VideoTrackFacts fileVideo;

private:
    bool started_ = false;
};

TEST_F(TopologyTest, WiresEverySelectedStreamToItsOwnRenderer) {
    const auto streams = Streams(descriptor.Get());
    std::set<DWORD> expected;
    for (const auto& stream : streams) {
        if (stream.selected && (stream.major == MFMediaType_Video || HasAudioOutput())) expected.insert(stream.id);
    }
    ASSERT_FALSE(expected.empty());

    ASSERT_HRESULT_SUCCEEDED(Build(descriptor.Get()));
    ASSERT_TRUE(topology);
    WORD nodes = 0;
    topology->GetNodeCount(&nodes);
    EXPECT_EQ(nodes, 2 * expected.size());

    std::set<DWORD> wired;
    std::set<IUnknown*> renderers;
    for (const Branch& branch : Branches(topology.Get())) {
        EXPECT_EQ(NodeUnknown(branch.source.Get(), MF_TOPONODE_SOURCE), Identity(source.Get()));
        EXPECT_EQ(NodeUnknown(branch.source.Get(), MF_TOPONODE_PRESENTATION_DESCRIPTOR), Identity(descriptor.Get()));
        const DWORD id = NodeStreamId(branch.source.Get());
        for (const auto& stream : streams) {
            if (stream.id == id) {
                EXPECT_EQ(NodeUnknown(branch.source.Get(), MF_TOPONODE_STREAM_DESCRIPTOR),
                          Identity(stream.descriptor.Get()));
            }
        }
        wired.insert(id);

        ASSERT_TRUE(branch.output);
        MF_TOPOLOGY_TYPE type = MF_TOPOLOGY_MAX;
        branch.output->GetNodeType(&type);
        EXPECT_EQ(type, MF_TOPOLOGY_OUTPUT_NODE);
        ComPtr<IUnknown> object;
        ComPtr<IMFActivate> activate;
        ASSERT_HRESULT_SUCCEEDED(branch.output->GetObject(&object));
        EXPECT_HRESULT_SUCCEEDED(object.As(&activate));
        renderers.insert(Identity(object.Get()).Get());
        UINT32 value = 99;
        EXPECT_HRESULT_SUCCEEDED(branch.output->GetUINT32(MF_TOPONODE_STREAMID, &value));
        EXPECT_EQ(value, 0u);
        value = 99;
        EXPECT_HRESULT_SUCCEEDED(branch.output->GetUINT32(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE, &value));
        EXPECT_EQ(value, 0u);
    }
    EXPECT_EQ(wired, expected);
    EXPECT_EQ(renderers.size(), expected.size());
}

TEST_F(TopologyTest, LeavesUnselectedStreamsAlone) {
    const auto streams = Streams(descriptor.Get());
    const StreamInfo* video = Find(streams, MFMediaType_Video);
    ASSERT_NE(video, nullptr);
    ASSERT_HRESULT_SUCCEEDED(descriptor->DeselectStream(video->index));
    const GUID before = Subtype(CurrentType(video->descriptor.Get()).Get());

    ASSERT_HRESULT_SUCCEEDED(Build(descriptor.Get()));
    for (const Branch& branch : Branches(topology.Get())) EXPECT_NE(NodeStreamId(branch.source.Get()), video->id);
    EXPECT_EQ(Subtype(CurrentType(video->descriptor.Get()).Get()), before);
}

TEST_F(TopologyTest, NoSelectedStreamGivesAnEmptyTopology) {
    for (const auto& stream : Streams(descriptor.Get())) descriptor->DeselectStream(stream.index);
    ASSERT_HRESULT_SUCCEEDED(Build(descriptor.Get()));
    ASSERT_TRUE(topology);
    WORD nodes = 99;
    topology->GetNodeCount(&nodes);
    EXPECT_EQ(nodes, 0);
}

TEST_F(TopologyTest, StreamWithoutRendererIsDeselectedAndTheRestPlays) {
    const auto streams = Streams(descriptor.Get());
    const StreamInfo* video = Find(streams, MFMediaType_Video);
    ASSERT_NE(video, nullptr);
    ComPtr<IMFMediaType> subtitles;
    ASSERT_HRESULT_SUCCEEDED(MFCreateMediaType(&subtitles));
    subtitles->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_SAMI);
    const auto mixed = MadeDescriptor({video->descriptor, MadeStream(77, {subtitles})});
    ASSERT_TRUE(mixed);

    ASSERT_HRESULT_SUCCEEDED(Build(mixed.Get()));
    const auto branches = Branches(topology.Get());
    ASSERT_EQ(branches.size(), 1u);
    EXPECT_EQ(NodeStreamId(branches[0].source.Get()), video->id);
    const auto after = Streams(mixed.Get());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_TRUE(after[0].selected);
    EXPECT_FALSE(after[1].selected);
}

// The renderer takes NV12 but not the I420 that some sources offer first.
TEST_F(TopologyTest, RealVideoStreamEndsUpRenderable) {
    const auto streams = Streams(descriptor.Get());
    const StreamInfo* video = Find(streams, MFMediaType_Video);
    ASSERT_NE(video, nullptr);
    const ComPtr<IMFMediaType> before = CurrentType(video->descriptor.Get());
    ASSERT_TRUE(before);
    BOOL compressed = TRUE;
    before->IsCompressedFormat(&compressed);
    const GUID beforeSubtype = Subtype(before.Get());

    ASSERT_HRESULT_SUCCEEDED(Build(descriptor.Get()));
    const GUID after = Subtype(CurrentType(video->descriptor.Get()).Get());
    if (compressed) {
        EXPECT_EQ(after, beforeSubtype);
    } else {
        EXPECT_EQ(after, MFVideoFormat_NV12);
    }
}

TEST_F(TopologyTest, VideoTypeChoiceOnlySwitchesUncompressedToARenderableOffer) {
    struct Case {
        const char* name;
        std::vector<ComPtr<IMFMediaType>> offered;
        GUID expected;
    };
    const Case cases[] = {
        {"I420 with NV12 offered",
         {VideoType(MFVideoFormat_I420, false), VideoType(MFVideoFormat_YUY2, false),
          VideoType(MFVideoFormat_NV12, false)},
         MFVideoFormat_NV12},
        {"I420 without NV12", {VideoType(MFVideoFormat_I420, false), VideoType(MFVideoFormat_YV12, false)},
         MFVideoFormat_I420},
        {"compressed with NV12 offered", {VideoType(MFVideoFormat_H264, true), VideoType(MFVideoFormat_NV12, false)},
         MFVideoFormat_H264},
        // Wine pads NV12's rows of 854 pixels to 856 bytes, which its renderer cannot take.
        {"I420 854 wide",
         {VideoType(MFVideoFormat_I420, false, 854), VideoType(MFVideoFormat_NV12, false, 854),
          VideoType(MFVideoFormat_YUY2, false, 854)},
         RunsOnWine() ? MFVideoFormat_YUY2 : MFVideoFormat_NV12},
        {"I420 856 wide",
         {VideoType(MFVideoFormat_I420, false, 856), VideoType(MFVideoFormat_YUY2, false, 856),
          VideoType(MFVideoFormat_NV12, false, 856)},
         MFVideoFormat_NV12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto stream = MadeStream(5, c.offered);
        ASSERT_TRUE(stream);
        const auto made = MadeDescriptor({stream});
        ASSERT_HRESULT_SUCCEEDED(Build(made.Get()));
        EXPECT_EQ(Branches(topology.Get()).size(), 1u);
        EXPECT_EQ(Subtype(CurrentType(stream.Get()).Get()), c.expected);
    }
}

// The upright transform takes NV12, padded rows and all, where the renderer would get YUY2.
TEST_F(TopologyTest, TurnedVideoStaysNV12ForTheUprightTransform) {
    fileVideo.found = true;
    fileVideo.rotationClockwise = 90;
    const auto stream = MadeStream(5, {VideoType(MFVideoFormat_I420, false, 854), VideoType(MFVideoFormat_NV12, false, 854),
                                       VideoType(MFVideoFormat_YUY2, false, 854)});
    ASSERT_TRUE(stream);
    ASSERT_HRESULT_SUCCEEDED(Build(MadeDescriptor({stream}).Get()));
    EXPECT_EQ(Subtype(CurrentType(stream.Get()).Get()), MFVideoFormat_NV12);
    WORD nodes = 0;
    topology->GetNodeCount(&nodes);
    EXPECT_EQ(nodes, 3) << "source, upright transform, renderer";
}

TEST_F(TopologyTest, OnlyVideoNotShownAsStoredGoesThroughTheUprightTransform) {
    const auto nv12 = [](UINT32 rotation, UINT32 aspectX, UINT32 aspectY) {
        ComPtr<IMFMediaType> type = VideoType(MFVideoFormat_NV12, false);
        type->SetUINT32(VIDEO_ROTATION_ATTRIBUTE, rotation);
        if (aspectX) MFSetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, aspectX, aspectY);
        return type;
    };
    VideoTrackFacts turned;
    turned.found = true;
    turned.rotationClockwise = 180;
    VideoTrackFacts anamorphic;
    anamorphic.found = true;
    anamorphic.pixelAspectX = 4;
    anamorphic.pixelAspectY = 3;
    const struct {
        const char* name;
        ComPtr<IMFMediaType> type;
        VideoTrackFacts file;
        bool transformed;
    } cases[] = {
        {"square and upright", nv12(0, 1, 1), {}, false},
        {"turned by the platform", nv12(90, 1, 1), {}, true},
        {"turned by the file, platform silent", nv12(0, 0, 0), turned, true},
        {"wide pixels by the platform", nv12(0, 4, 3), {}, true},
        {"wide pixels by the file", nv12(0, 0, 0), anamorphic, true},
        {"square by the platform over the file", nv12(0, 1, 1), anamorphic, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fileVideo = c.file;
        const auto made = MadeDescriptor({MadeStream(3, {c.type})});
        ASSERT_HRESULT_SUCCEEDED(Build(made.Get()));
        const auto branches = Branches(topology.Get());
        ASSERT_EQ(branches.size(), 1u);
        ComPtr<IMFTopologyNode> renderer = branches[0].output;
        MF_TOPOLOGY_TYPE type = MF_TOPOLOGY_MAX;
        renderer->GetNodeType(&type);
        EXPECT_EQ(type == MF_TOPOLOGY_TRANSFORM_NODE, c.transformed);
        if (type == MF_TOPOLOGY_TRANSFORM_NODE) {
            ComPtr<IUnknown> object;
            ComPtr<IMFTransform> transform;
            ASSERT_HRESULT_SUCCEEDED(renderer->GetObject(&object));
            EXPECT_HRESULT_SUCCEEDED(object.As(&transform));
            const ComPtr<IMFTopologyNode> upright = renderer;
            DWORD input = 99;
            renderer.Reset();
            ASSERT_HRESULT_SUCCEEDED(upright->GetOutput(0, &renderer, &input));
            EXPECT_EQ(input, 0u);
            renderer->GetNodeType(&type);
        }
        EXPECT_EQ(type, MF_TOPOLOGY_OUTPUT_NODE);
        WORD nodes = 0;
        topology->GetNodeCount(&nodes);
        EXPECT_EQ(nodes, c.transformed ? 3 : 2);
    }
}

TEST(PictureGeometry, DisplayedSizeIsTurnedWithThePixelsShapeOnTheWidth) {
    const struct {
        PictureSize stored;
        PictureGeometry geometry;
        PictureSize shown;
    } cases[] = {
        {{320, 240}, {90, 1, 1}, {240, 320}},   {{320, 240}, {180, 1, 1}, {320, 240}},
        {{480, 360}, {0, 4, 3}, {640, 360}},    {{480, 360}, {270, 4, 3}, {360, 640}},
        {{720, 576}, {0, 16, 15}, {768, 576}},  {{128, 96}, {0, 21, 16}, {168, 96}},
        {{720, 480}, {0, 8, 9}, {640, 480}},    {{1, 1}, {0, 1, 4}, {2, 1}},
    };
    for (const auto& c : cases) {
        const PictureSize shown = DisplayedSize(c.stored, c.geometry);
        EXPECT_EQ(shown.width, c.shown.width) << c.stored.width << "x" << c.stored.height;
        EXPECT_EQ(shown.height, c.shown.height) << c.stored.width << "x" << c.stored.height;
    }
}

TEST(PictureGeometry, PlatformFactsComeFirstAndOddOnesCountForNothing) {
    const auto file = [](int rotation, uint32_t x, uint32_t y) {
        VideoTrackFacts facts;
        facts.found = true;
        facts.rotationClockwise = rotation;
        facts.pixelAspectX = x;
        facts.pixelAspectY = y;
        return facts;
    };
    const struct {
        const char* name;
        uint32_t rotation, aspectX, aspectY;
        VideoTrackFacts file;
        PictureGeometry chosen;
    } cases[] = {
        {"platform turn wins", 90, 0, 0, file(270, 0, 0), {90, 1, 1}},
        {"platform 0 leaves it to the file", 0, 0, 0, file(270, 0, 0), {270, 1, 1}},
        {"no quarter turn", 45, 0, 0, file(100, 0, 0), {0, 1, 1}},
        {"platform pixels win", 0, 1, 1, file(0, 4, 3), {0, 1, 1}},
        {"file pixels when the platform is silent", 0, 0, 0, file(0, 4, 3), {0, 4, 3}},
        {"absurd pixels", 0, 100, 1, file(0, 0, 7), {0, 1, 1}},
        {"nothing found", 0, 0, 0, VideoTrackFacts{}, {0, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureGeometry chosen = ChoosePictureGeometry(c.rotation, c.aspectX, c.aspectY, c.file);
        EXPECT_EQ(chosen.rotationClockwise, c.chosen.rotationClockwise);
        EXPECT_EQ(chosen.pixelAspectX * c.chosen.pixelAspectY, chosen.pixelAspectY * c.chosen.pixelAspectX);
    }
}

// An NV12 picture in memory, with a distinct value in every luma byte and colour pair.
struct Nv12Picture {
    uint32_t width;
    uint32_t height;
    uint32_t stride;
    std::vector<uint8_t> bytes;

    uint32_t ChromaWidth() const { return (width + 1) / 2; }
    uint32_t ChromaHeight() const { return (height + 1) / 2; }
    uint32_t LumaRows() const { return height + (height & 1); }
    uint8_t& Luma(uint32_t x, uint32_t y) { return bytes[y * stride + x]; }
    uint8_t Luma(uint32_t x, uint32_t y) const { return bytes[y * stride + x]; }
    uint8_t* Pair(uint32_t x, uint32_t y) { return &bytes[(LumaRows() + y) * stride + 2 * x]; }
    const uint8_t* Pair(uint32_t x, uint32_t y) const { return &bytes[(LumaRows() + y) * stride + 2 * x]; }

    static Nv12Picture Made(uint32_t width, uint32_t height, uint32_t stride) {
        Nv12Picture picture{width, height, stride, {}};
        picture.bytes.assign(stride * (picture.LumaRows() + picture.LumaRows() / 2), 0);
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x) picture.Luma(x, y) = static_cast<uint8_t>(1 + x + width * y);
        for (uint32_t y = 0; y < picture.ChromaHeight(); ++y) {
            for (uint32_t x = 0; x < picture.ChromaWidth(); ++x) {
                picture.Pair(x, y)[0] = static_cast<uint8_t>(x + picture.ChromaWidth() * y);
                picture.Pair(x, y)[1] = static_cast<uint8_t>(255 - x - picture.ChromaWidth() * y);
            }
        }
        return picture;
    }

    // Turned a quarter clockwise: the left column becomes the top row.
    Nv12Picture Quarter() const {
        Nv12Picture turned{height, width, height + (height & 1), {}};
        turned.bytes.assign(turned.stride * (turned.LumaRows() + turned.LumaRows() / 2), 0);
        for (uint32_t y = 0; y < turned.height; ++y)
            for (uint32_t x = 0; x < turned.width; ++x) turned.Luma(x, y) = Luma(y, height - 1 - x);
        for (uint32_t y = 0; y < turned.ChromaHeight(); ++y) {
            for (uint32_t x = 0; x < turned.ChromaWidth(); ++x) {
                turned.Pair(x, y)[0] = Pair(y, ChromaHeight() - 1 - x)[0];
                turned.Pair(x, y)[1] = Pair(y, ChromaHeight() - 1 - x)[1];
            }
        }
        return turned;
    }
};

ComPtr<IMFMediaType> Nv12Type(uint32_t width, uint32_t height, uint32_t stride) {
    ComPtr<IMFMediaType> type = VideoType(MFVideoFormat_NV12, false);
    MFSetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, width, height);
    type->SetUINT32(MF_MT_DEFAULT_STRIDE, stride);
    return type;
}

ComPtr<IMFSample> SampleOf(const std::vector<uint8_t>& bytes, DWORD capacity) {
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IMFSample> sample;
    EXPECT_HRESULT_SUCCEEDED(MFCreateMemoryBuffer(capacity, &buffer));
    EXPECT_HRESULT_SUCCEEDED(MFCreateSample(&sample));
    BYTE* data = nullptr;
    if (!buffer || !sample || FAILED(buffer->Lock(&data, nullptr, nullptr))) return nullptr;
    std::fill(data, data + capacity, 0);
    std::copy(bytes.begin(), bytes.end(), data);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(bytes.size()));
    sample->AddBuffer(buffer.Get());
    return sample;
}

std::vector<uint8_t> BytesOf(IMFSample* sample) {
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) || FAILED(buffer->Lock(&data, nullptr, &length))) return {};
    std::vector<uint8_t> bytes(data, data + length);
    buffer->Unlock();
    return bytes;
}

// Puts a frame through and gives what came out, in an output sample of the size it asks for.
ComPtr<IMFSample> PassThrough(IMFTransform* transform, IMFSample* frame) {
    MFT_OUTPUT_STREAM_INFO info{};
    EXPECT_HRESULT_SUCCEEDED(transform->GetOutputStreamInfo(0, &info));
    EXPECT_HRESULT_SUCCEEDED(transform->ProcessInput(0, frame, 0));
    MFT_OUTPUT_DATA_BUFFER output{};
    output.pSample = SampleOf({}, info.cbSize).Detach();
    DWORD status = 99;
    const HRESULT hr = transform->ProcessOutput(0, 1, &output, &status);
    ComPtr<IMFSample> made;
    made.Attach(output.pSample);
    EXPECT_HRESULT_SUCCEEDED(hr);
    return SUCCEEDED(hr) ? made : nullptr;
}

// Big enough for the whole blocks that are turned at once, odd for the edges that are not.
TEST(UprightTransform, TurnsOddSizedFramesOfAnyStride) {
    for (const int clockwise : {90, 180, 270}) {
        SCOPED_TRACE(clockwise);
        ComPtr<IMFTransform> transform;
        ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({clockwise, 1, 1}, &transform));
        const Nv12Picture input = Nv12Picture::Made(17, 11, 24);
        ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(17, 11, 24).Get(), 0));
        ComPtr<IMFMediaType> output;
        ASSERT_HRESULT_SUCCEEDED(transform->GetOutputCurrentType(0, &output));
        UINT32 width = 0;
        UINT32 height = 0;
        MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
        EXPECT_EQ(width, clockwise == 180 ? 17u : 11u);
        EXPECT_EQ(height, clockwise == 180 ? 11u : 17u);

        Nv12Picture expected = input.Quarter();
        for (int turn = 90; turn < clockwise; turn += 90) expected = expected.Quarter();
        const ComPtr<IMFSample> made =
            PassThrough(transform.Get(), SampleOf(input.bytes, static_cast<DWORD>(input.bytes.size())).Get());
        ASSERT_TRUE(made);
        EXPECT_EQ(BytesOf(made.Get()), expected.bytes);
    }
}

TEST(UprightTransform, ShowsOnlyTheApertureAndStretchesWidePixels) {
    // An 8x6 frame whose picture is the 4x2 at (2, 2), of pixels 4:3 wide, turned a quarter.
    ComPtr<IMFTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({90, 4, 3}, &transform));
    const ComPtr<IMFMediaType> type = Nv12Type(8, 6, 8);
    MFVideoArea aperture{};
    aperture.OffsetX.value = 2;
    aperture.OffsetY.value = 2;
    aperture.Area = {4, 2};
    type->SetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<const UINT8*>(&aperture), sizeof(aperture));
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, type.Get(), 0));
    ComPtr<IMFMediaType> output;
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputCurrentType(0, &output));
    UINT32 width = 0;
    UINT32 height = 0;
    MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 6u);
    UINT32 x = 0;
    UINT32 y = 0;
    MFGetAttributeRatio(output.Get(), MF_MT_PIXEL_ASPECT_RATIO, &x, &y);
    EXPECT_EQ(x, y);

    // Rows of the aperture rising 1 a pixel; the frame around it all 0.
    std::vector<uint8_t> bytes(8 * 9, 0);
    for (int row = 2; row < 4; ++row)
        for (int column = 2; column < 6; ++column) bytes[row * 8 + column] = static_cast<uint8_t>(100 + column);
    const ComPtr<IMFSample> made = PassThrough(transform.Get(), SampleOf(bytes, 8 * 9).Get());
    ASSERT_TRUE(made);
    const std::vector<uint8_t> shown = BytesOf(made.Get());
    ASSERT_GE(shown.size(), 12u);
    // Down each column of the turned picture the stretched row, from 102 to 105 without a dip.
    for (int column = 0; column < 2; ++column) {
        EXPECT_EQ(shown[column], 102);
        EXPECT_EQ(shown[5 * 2 + column], 105);
        for (int row = 1; row < 6; ++row) EXPECT_GE(shown[row * 2 + column], shown[(row - 1) * 2 + column]);
    }
}

TEST(UprightTransform, HoldsOneFrameUntilAskedAndLetsItGoOnFlush) {
    ComPtr<IMFTransform> transform;
    ASSERT_HRESULT_SUCCEEDED(UprightTransform::Create({270, 1, 1}, &transform));
    ComPtr<IMFMediaType> output;
    EXPECT_EQ(transform->GetOutputAvailableType(0, 0, &output), MF_E_TRANSFORM_TYPE_NOT_SET);
    EXPECT_HRESULT_FAILED(transform->SetInputType(0, VideoType(MFVideoFormat_I420, false).Get(), 0));
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(4, 2, 4).Get(), 0));

    const Nv12Picture picture = Nv12Picture::Made(4, 2, 4);
    const ComPtr<IMFSample> frame = SampleOf(picture.bytes, 12);
    frame->SetSampleTime(400000);
    frame->SetSampleDuration(400000);
    MFT_OUTPUT_DATA_BUFFER none{};
    none.pSample = SampleOf({}, 12).Detach();
    DWORD status = 0;
    EXPECT_EQ(transform->ProcessOutput(0, 1, &none, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessInput(0, frame.Get(), 0));
    EXPECT_EQ(transform->ProcessInput(0, frame.Get(), 0), MF_E_NOTACCEPTING);
    EXPECT_EQ(transform->SetInputType(0, Nv12Type(6, 2, 6).Get(), 0),
              MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING);
    ASSERT_HRESULT_SUCCEEDED(transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0));
    EXPECT_EQ(transform->ProcessOutput(0, 1, &none, &status), MF_E_TRANSFORM_NEED_MORE_INPUT);
    none.pSample->Release();

    const ComPtr<IMFSample> made = PassThrough(transform.Get(), frame.Get());
    ASSERT_TRUE(made);
    LONGLONG time = 0;
    EXPECT_HRESULT_SUCCEEDED(made->GetSampleTime(&time));
    EXPECT_EQ(time, 400000);

    // A new size leaves the output to be chosen again, at the new shape.
    ASSERT_HRESULT_SUCCEEDED(transform->SetInputType(0, Nv12Type(6, 2, 6).Get(), 0));
    EXPECT_EQ(transform->GetOutputCurrentType(0, &output), MF_E_TRANSFORM_TYPE_NOT_SET);
    ASSERT_HRESULT_SUCCEEDED(transform->GetOutputAvailableType(0, 0, &output));
    UINT32 width = 0;
    UINT32 height = 0;
    MFGetAttributeSize(output.Get(), MF_MT_FRAME_SIZE, &width, &height);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(height, 6u);
    ASSERT_HRESULT_SUCCEEDED(transform->SetOutputType(0, output.Get(), 0));
    EXPECT_TRUE(PassThrough(transform.Get(), SampleOf(Nv12Picture::Made(6, 2, 6).bytes, 18).Get()));
}

TEST(AudioOutput, IsFoundWhenTheMachineHasADevice) {
    char noAudio[8] = {};
    if (GetEnvironmentVariableA("MOVIEPANE_NO_AUDIO", noAudio, sizeof(noAudio)) && std::string(noAudio) == "1")
        GTEST_SKIP() << "run without an audio device";
    EXPECT_TRUE(HasAudioOutput());
}

}  // namespace
