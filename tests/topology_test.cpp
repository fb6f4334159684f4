#include "player/Topology.h"
#include "player/UprightTransform.h"

#include "MediaTypes.h"
#include "TestSupport.h"
#include "common/RunsOnWine.h"

#include <gtest/gtest.h>

#include <mfapi.h>
#include <wrl/client.h>

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

TEST(AudioOutput, IsFoundWhenTheMachineHasADevice) {
    char noAudio[8] = {};
    if (GetEnvironmentVariableA("MOVIEPANE_NO_AUDIO", noAudio, sizeof(noAudio)) && std::string(noAudio) == "1")
        GTEST_SKIP() << "run without an audio device";
    EXPECT_TRUE(HasAudioOutput());
}

}  // namespace
