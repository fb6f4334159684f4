#include "player/VideoDecoders.h"

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wrl/client.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace {

bool HasDecoder(const GUID& subtype) {
    const MFT_REGISTER_TYPE_INFO input = {MFMediaType_Video, subtype};
    IMFActivate** found = nullptr;
    UINT32 count = 0;
    const UINT32 flags = MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_ASYNCMFT | MFT_ENUM_FLAG_HARDWARE |
                         MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_SORTANDFILTER;
    if (FAILED(MFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, flags, &input, nullptr, &found, &count))) return true;
    for (UINT32 i = 0; i < count; ++i) found[i]->Release();
    CoTaskMemFree(found);
    return count > 0;
}

// The compressed subtype of a video stream, or GUID_NULL for any other stream.
GUID CompressedVideoSubtype(IMFStreamDescriptor* stream) {
    ComPtr<IMFMediaTypeHandler> handler;
    GUID major{};
    if (FAILED(stream->GetMediaTypeHandler(&handler)) || FAILED(handler->GetMajorType(&major)) ||
        major != MFMediaType_Video) {
        return GUID_NULL;
    }
    ComPtr<IMFMediaType> type;
    BOOL compressed = FALSE;
    GUID subtype{};
    if (FAILED(handler->GetCurrentMediaType(&type)) || FAILED(type->IsCompressedFormat(&compressed)) || !compressed ||
        FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) {
        return GUID_NULL;
    }
    return subtype;
}

}  // namespace

HRESULT CheckVideoDecoders(IMFPresentationDescriptor* descriptor, GUID* undecodable) {
    *undecodable = GUID_NULL;
    DWORD count = 0;
    HRESULT hr = descriptor->GetStreamDescriptorCount(&count);
    if (FAILED(hr)) return hr;
    for (DWORD index = 0; index < count; ++index) {
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        hr = descriptor->GetStreamDescriptorByIndex(index, &selected, &stream);
        if (FAILED(hr)) return hr;
        if (!selected) continue;
        const GUID subtype = CompressedVideoSubtype(stream.Get());
        if (subtype == GUID_NULL || HasDecoder(subtype)) continue;
        *undecodable = subtype;
        return MF_E_TOPO_CODEC_NOT_FOUND;
    }
    return S_OK;
}

std::wstring DescribeVideoSubtype(const GUID& subtype) {
    // The subtypes of compressed video are four-character codes on a common base.
    static const GUID base = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    if (subtype.Data2 != base.Data2 || subtype.Data3 != base.Data3 ||
        std::memcmp(subtype.Data4, base.Data4, sizeof base.Data4) != 0) {
        return {};
    }
    char code[5] = {};
    for (int i = 0; i < 4; ++i) code[i] = static_cast<char>((subtype.Data1 >> (8 * i)) & 0xFF);
    // The platform's codes where they differ from the files' own.
    static const struct {
        char platform[5];
        char file[5];
    } renamed[] = {{"H264", "avc1"}, {"AVC1", "avc1"}, {"HEVC", "hvc1"}, {"H265", "hvc1"}, {"HVC1", "hvc1"},
                   {"HEV1", "hvc1"}, {"AV01", "av01"}, {"VP90", "vp09"}, {"VP80", "vp08"}, {"MP4V", "mp4v"},
                   {"M4S2", "mp4v"}, {"H263", "s263"}};
    VideoTrackFacts video;
    std::memcpy(video.codec, code, sizeof video.codec);
    for (const auto& name : renamed) {
        if (std::memcmp(name.platform, code, 4) == 0) std::memcpy(video.codec, name.file, sizeof video.codec);
    }
    return DescribeVideoFormat(video);
}

bool EverySystemDecodes(const VideoTrackFacts& video) {
    const bool h264 = std::memcmp(video.codec, "avc1", 4) == 0 || std::memcmp(video.codec, "avc3", 4) == 0;
    const bool profile = video.profile == 66 || video.profile == 77 || video.profile == 100;
    return h264 && profile && video.bitDepth == 8 && video.chromaFormat == 1;
}
