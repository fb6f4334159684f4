#include "moviefile/ReaderInternals.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace movie_file {

namespace {

const ProResFlavour proResFlavours[] = {
    {Tag("apco"), L"Apple ProRes 422 Proxy", 2}, {Tag("apcs"), L"Apple ProRes 422 LT", 2},
    {Tag("apcn"), L"Apple ProRes 422", 2},       {Tag("apch"), L"Apple ProRes 422 HQ", 2},
    {Tag("ap4h"), L"Apple ProRes 4444", 3},      {Tag("ap4x"), L"Apple ProRes 4444 XQ", 3},
};

}  // namespace

const ProResFlavour* FindProRes(uint32_t tag) {
    const auto found = std::find_if(std::begin(proResFlavours), std::end(proResFlavours),
                                    [tag](const ProResFlavour& flavour) { return flavour.tag == tag; });
    return found == std::end(proResFlavours) ? nullptr : found;
}

}  // namespace movie_file

using namespace movie_file;

namespace {

const wchar_t* AvcProfileName(int profile) {
    switch (profile) {
    case 66: return L"Baseline";
    case 77: return L"Main";
    case 88: return L"Extended";
    case 100: return L"High";
    case 110: return L"High 10";
    case 122: return L"High 4:2:2";
    case 244: return L"High 4:4:4 Predictive";
    case 44: return L"CAVLC 4:4:4 Intra";
    case 83: return L"Scalable Baseline";
    case 86: return L"Scalable High";
    case 118: return L"Multiview High";
    case 128: return L"Stereo High";
    default: return nullptr;
    }
}

// The range extensions' profiles are named after their chroma format and bit depth.
std::wstring HevcProfileName(const VideoTrackFacts& video) {
    switch (video.profile) {
    case 1: return L"Main";
    case 2: return L"Main 10";
    case 3: return L"Main Still Picture";
    case 4: break;
    default: return {};
    }
    if (video.chromaFormat < 0 || video.bitDepth == 0) return L"Range Extensions";
    std::wstring name = video.chromaFormat == 0 ? L"Monochrome" : L"Main";
    if (video.chromaFormat == 2) name += L" 4:2:2";
    if (video.chromaFormat == 3) name += L" 4:4:4";
    if (video.bitDepth != 8) name += L" " + std::to_wstring(video.bitDepth);
    return name;
}

struct CodecName {
    const char* tags;
    const wchar_t* name;
};

// Four-character codes, several to a name.
const CodecName codecNames[] = {
    {"avc1avc2avc3avc4", L"H.264"},
    {"hvc1hev1", L"HEVC (H.265)"},
    {"vvc1vvi1", L"VVC (H.266)"},
    {"av01", L"AV1"},
    {"vp09", L"VP9"},
    {"vp08", L"VP8"},
    {"mp4v", L"MPEG-4 Part 2"},
    {"s263h263", L"H.263"},
    {"rpza", L"Apple Video"},
    {"smc ", L"Apple Graphics"},
    {"rle ", L"Apple Animation"},
    {"cvid", L"Cinepak"},
    {"jpeg", L"Photo JPEG"},
    {"mjpa", L"Motion JPEG A"},
    {"mjpb", L"Motion JPEG B"},
    {"png ", L"PNG"},
    {"raw ", L"Uncompressed RGB"},
    {"2vuyyuv2", L"Uncompressed YUV 4:2:2"},
    {"v210", L"Uncompressed 10-bit YUV 4:2:2"},
    {"dvc dvcpdvppdv5ndv5p", L"DV"},
    {"dvh5dvh6dvhqdvhp", L"DVCPRO HD"},
    {"aprn", L"Apple ProRes RAW"},
    {"aprh", L"Apple ProRes RAW HQ"},
};

const wchar_t* CodecNameOf(const char (&codec)[5]) {
    for (const CodecName& entry : codecNames) {
        for (const char* tag = entry.tags; *tag != '\0'; tag += 4) {
            if (std::memcmp(tag, codec, 4) == 0) return entry.name;
        }
    }
    return nullptr;
}

}  // namespace

std::wstring DescribeVideoFormat(const VideoTrackFacts& video) {
    if (video.codec[4] != '\0' || std::memchr(video.codec, '\0', 4)) return {};
    const uint32_t tag = Tag(video.codec);
    std::wstring text;
    if (const ProResFlavour* proRes = FindProRes(tag)) {
        text = proRes->name;
    } else if (const wchar_t* name = CodecNameOf(video.codec)) {
        text = name;
        std::wstring profile;
        if (tag == Tag("avc1") || tag == Tag("avc2") || tag == Tag("avc3") || tag == Tag("avc4")) {
            if (const wchar_t* avc = AvcProfileName(video.profile)) profile = avc;
        } else if (tag == Tag("hvc1") || tag == Tag("hev1")) {
            profile = HevcProfileName(video);
        } else if (tag == Tag("av01") && video.profile >= 0 && video.profile <= 2) {
            static const wchar_t* const av1[] = {L"Main", L"High", L"Professional"};
            profile = av1[video.profile];
        } else if (tag == Tag("vp09") && video.profile >= 0 && video.profile <= 3) {
            profile = L"Profile " + std::to_wstring(video.profile);
        }
        if (!profile.empty()) text += L" " + profile;
    } else {
        return {};
    }
    if (video.bitDepth != 0 && video.bitDepth != 8) text += L", " + std::to_wstring(video.bitDepth) + L"-bit";
    return text;
}
