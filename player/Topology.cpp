#include "player/Topology.h"

#include "player/PictureGeometry.h"
#include "player/UprightTransform.h"
#include "quirks/PlatformQuirks.h"

#include <evr.h>
#include <mfapi.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Whether the platform pads the rows of planar frames of this type (see PlatformQuirks).
bool RowsPadded(IMFMediaType* type) {
    UINT32 width = 0;
    UINT32 height = 0;
    if (FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height))) return false;
    return PlatformQuirks::WantsUnpaddedRows(width);
}

// Makes the offered type of the given subtype current, when the stream offers one.
void SelectOffered(IMFMediaTypeHandler* handler, REFGUID wanted) {
    DWORD count = 0;
    if (FAILED(handler->GetMediaTypeCount(&count))) return;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IMFMediaType> offered;
        GUID subtype{};
        if (FAILED(handler->GetMediaTypeByIndex(i, &offered))) continue;
        if (SUCCEEDED(offered->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == wanted) {
            handler->SetCurrentMediaType(offered.Get());
            return;
        }
    }
}

// Some sources offer only uncompressed video whose current type (I420) the video renderer
// refuses while it takes NV12 from the same list, or YUY2 where NV12's rows are padded.
// Compressed types are left alone: there the decoder and the renderer agree by themselves.
void PreferRenderableSubtype(IMFMediaTypeHandler* handler) {
    ComPtr<IMFMediaType> current;
    if (FAILED(handler->GetCurrentMediaType(&current))) return;
    GUID subtype{};
    BOOL compressed = TRUE;
    if (FAILED(current->GetGUID(MF_MT_SUBTYPE, &subtype))) return;
    if (FAILED(current->IsCompressedFormat(&compressed)) || compressed) return;
    const GUID wanted = RowsPadded(current.Get()) ? MFVideoFormat_YUY2 : MFVideoFormat_NV12;
    if (subtype != wanted) SelectOffered(handler, wanted);
}

// The renderer activation object for a stream, or S_FALSE when the stream is not to be played.
HRESULT CreateRendererActivate(IMFStreamDescriptor* stream, HWND videoWindow, IMFActivate** activate) {
    ComPtr<IMFMediaTypeHandler> handler;
    HRESULT hr = stream->GetMediaTypeHandler(&handler);
    if (FAILED(hr)) return hr;
    GUID major{};
    hr = handler->GetMajorType(&major);
    if (FAILED(hr)) return hr;

    if (major == MFMediaType_Audio) {
        if (!HasAudioOutput()) return S_FALSE;
        return MFCreateAudioRendererActivate(activate);
    }
    if (major == MFMediaType_Video) {
        PreferRenderableSubtype(handler.Get());
        return MFCreateVideoRendererActivate(videoWindow, activate);
    }
    // A timecode, subtitle or data track has no renderer here; it must not stop the movie.
    return S_FALSE;
}

// The module's transform for a video stream whose pictures are not to be shown as stored, or
// S_FALSE when they are. Read after the stream's type has been chosen.
HRESULT CreateUprightTransform(IMFStreamDescriptor* stream, const VideoTrackFacts& file, IMFTransform** transform) {
    ComPtr<IMFMediaTypeHandler> handler;
    ComPtr<IMFMediaType> current;
    HRESULT hr = stream->GetMediaTypeHandler(&handler);
    if (FAILED(hr)) return hr;
    GUID major{};
    hr = handler->GetMajorType(&major);
    if (FAILED(hr)) return hr;
    if (major != MFMediaType_Video) return S_FALSE;
    UINT32 rotation = 0;
    UINT32 aspectX = 0;
    UINT32 aspectY = 0;
    // What the type does not say stays unknown.
    if (SUCCEEDED(handler->GetCurrentMediaType(&current))) {
        current->GetUINT32(VIDEO_ROTATION_ATTRIBUTE, &rotation);
        MFGetAttributeRatio(current.Get(), MF_MT_PIXEL_ASPECT_RATIO, &aspectX, &aspectY);
    }
    const PictureGeometry geometry = ChoosePictureGeometry(rotation, aspectX, aspectY, file);
    if (geometry.ShownAsStored()) return S_FALSE;
    // The transform takes NV12 and reads it at the type's own stride, padded rows included.
    GUID subtype{};
    if (current && SUCCEEDED(current->GetGUID(MF_MT_SUBTYPE, &subtype)) && subtype == MFVideoFormat_YUY2)
        SelectOffered(handler.Get(), MFVideoFormat_NV12);
    return UprightTransform::Create(geometry, transform);
}

HRESULT AddSourceNode(IMFTopology* topology, IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                      IMFStreamDescriptor* stream, IMFTopologyNode** added) {
    ComPtr<IMFTopologyNode> node;
    HRESULT hr = MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, &node);
    if (FAILED(hr)) return hr;
    hr = node->SetUnknown(MF_TOPONODE_SOURCE, source);
    if (FAILED(hr)) return hr;
    hr = node->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, descriptor);
    if (FAILED(hr)) return hr;
    hr = node->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream);
    if (FAILED(hr)) return hr;
    hr = topology->AddNode(node.Get());
    if (FAILED(hr)) return hr;
    *added = node.Detach();
    return S_OK;
}

HRESULT AddOutputNode(IMFTopology* topology, IMFActivate* renderer, IMFTopologyNode** added) {
    ComPtr<IMFTopologyNode> node;
    HRESULT hr = MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, &node);
    if (FAILED(hr)) return hr;
    hr = node->SetObject(renderer);
    if (FAILED(hr)) return hr;
    hr = node->SetUINT32(MF_TOPONODE_STREAMID, 0);
    if (FAILED(hr)) return hr;
    hr = node->SetUINT32(MF_TOPONODE_NOSHUTDOWN_ON_REMOVE, 0);
    if (FAILED(hr)) return hr;
    hr = topology->AddNode(node.Get());
    if (FAILED(hr)) return hr;
    *added = node.Detach();
    return S_OK;
}

}  // namespace

bool HasAudioOutput() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool found = false;
    {
        ComPtr<IMMDeviceEnumerator> devices;
        ComPtr<IMMDevice> output;
        found = SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                           IID_PPV_ARGS(&devices))) &&
                SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &output));
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return found;
}

HRESULT CreatePlaybackTopology(IMFMediaSource* source, IMFPresentationDescriptor* descriptor,
                               HWND videoWindow, const VideoTrackFacts& fileVideo, IMFTopology** topology) {
    ComPtr<IMFTopology> built;
    HRESULT hr = MFCreateTopology(&built);
    if (FAILED(hr)) return hr;
    DWORD count = 0;
    hr = descriptor->GetStreamDescriptorCount(&count);
    if (FAILED(hr)) return hr;
    for (DWORD index = 0; index < count; ++index) {
        hr = AddStreamBranch(built.Get(), source, descriptor, index, videoWindow, fileVideo);
        if (FAILED(hr)) return hr;
    }
    *topology = built.Detach();
    return S_OK;
}

HRESULT AddStreamBranch(IMFTopology* topology, IMFMediaSource* source,
                        IMFPresentationDescriptor* descriptor, DWORD index, HWND videoWindow,
                        const VideoTrackFacts& fileVideo) {
    BOOL selected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    HRESULT hr = descriptor->GetStreamDescriptorByIndex(index, &selected, &stream);
    if (FAILED(hr) || !selected) return hr;

    ComPtr<IMFActivate> renderer;
    hr = CreateRendererActivate(stream.Get(), videoWindow, &renderer);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return descriptor->DeselectStream(index);
    ComPtr<IMFTransform> upright;
    hr = CreateUprightTransform(stream.Get(), fileVideo, &upright);
    if (FAILED(hr)) return hr;

    ComPtr<IMFTopologyNode> sourceNode;
    hr = AddSourceNode(topology, source, descriptor, stream.Get(), &sourceNode);
    if (FAILED(hr)) return hr;
    ComPtr<IMFTopologyNode> outputNode;
    hr = AddOutputNode(topology, renderer.Get(), &outputNode);
    if (FAILED(hr)) return hr;
    if (!upright) return sourceNode->ConnectOutput(0, outputNode.Get(), 0);

    ComPtr<IMFTopologyNode> uprightNode;
    hr = MFCreateTopologyNode(MF_TOPOLOGY_TRANSFORM_NODE, &uprightNode);
    if (FAILED(hr)) return hr;
    hr = uprightNode->SetObject(upright.Get());
    if (FAILED(hr)) return hr;
    hr = topology->AddNode(uprightNode.Get());
    if (FAILED(hr)) return hr;
    hr = sourceNode->ConnectOutput(0, uprightNode.Get(), 0);
    if (FAILED(hr)) return hr;
    return uprightNode->ConnectOutput(0, outputNode.Get(), 0);
}

namespace {

// Calls use with the sample allocator of every video renderer in the session's current topology
// and the renderer's stream.
template <typename Use>
void ForEachVideoSampleAllocator(IMFMediaSession* session, Use use) {
    ComPtr<IMFTopology> topology;
    if (FAILED(session->GetFullTopology(MFSESSION_GETFULLTOPOLOGY_CURRENT, 0, &topology))) return;
    ComPtr<IMFCollection> outputs;
    if (FAILED(topology->GetOutputNodeCollection(&outputs))) return;
    DWORD count = 0;
    if (FAILED(outputs->GetElementCount(&count))) return;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IUnknown> element;
        ComPtr<IMFTopologyNode> node;
        ComPtr<IUnknown> object;
        ComPtr<IMFVideoSampleAllocator> allocator;
        if (FAILED(outputs->GetElement(i, &element)) || FAILED(element.As(&node)) || FAILED(node->GetObject(&object)))
            continue;
        if (FAILED(MFGetService(object.Get(), MR_VIDEO_ACCELERATION_SERVICE, IID_PPV_ARGS(&allocator)))) continue;
        use(allocator.Get(), object.Get());
    }
}

}  // namespace

void DetachVideoSampleAllocators(IMFMediaSession* session) {
    ForEachVideoSampleAllocator(session, [](IMFVideoSampleAllocator* allocator, IUnknown*) {
        ComPtr<IMFVideoSampleAllocatorCallback> notifications;
        if (SUCCEEDED(allocator->QueryInterface(IID_PPV_ARGS(&notifications)))) notifications->SetCallback(nullptr);
    });
}

void GiveVideoSampleAllocatorsASpare(IMFMediaSession* session) {
    ForEachVideoSampleAllocator(session, [](IMFVideoSampleAllocator* allocator, IUnknown* renderer) {
        ComPtr<IMFStreamSink> stream;
        ComPtr<IMFMediaTypeHandler> handler;
        ComPtr<IMFMediaType> type;
        if (FAILED(renderer->QueryInterface(IID_PPV_ARGS(&stream))) || FAILED(stream->GetMediaTypeHandler(&handler)) ||
            FAILED(handler->GetCurrentMediaType(&type)))
            return;
        allocator->InitializeSampleAllocator(VIDEO_SAMPLES_WITH_SPARE, type.Get());
    });
}
