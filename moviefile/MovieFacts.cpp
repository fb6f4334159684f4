#include "moviefile/MovieFacts.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

bool MemoryBytes::ReadAt(uint64_t offset, void* buffer, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(buffer, data_ + offset, size);
    return true;
}

namespace {

constexpr uint32_t Tag(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

// What a damaged or hostile file may cost: the moov of a two-hour movie is read in a few blocks,
// since of its large tables only the headers and first entries are read.
constexpr size_t BLOCK_BYTES = 64 * 1024;
constexpr uint64_t MAX_BYTES_READ = 4 * 1024 * 1024;
constexpr unsigned MAX_BOXES = 10000;
// Of a box whose first bytes alone matter: a sample entry's header, a decoder configuration.
constexpr size_t MAX_LEAF_BYTES = 512;

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }

// Reads the file in blocks and keeps to the bounds; once anything was odd it reads no more, and
// the caller keeps nothing of what it found.
class Reader {
public:
    explicit Reader(const ByteSource& bytes)
        : bytes_(bytes), size_(bytes.Size()), block_(new (std::nothrow) uint8_t[BLOCK_BYTES]) {
        if (!block_) failed_ = true;
    }

    uint64_t FileSize() const { return size_; }
    bool Failed() const { return failed_; }
    bool Fail() {
        failed_ = true;
        return false;
    }
    bool CountBox() { return ++boxes_ <= MAX_BOXES || Fail(); }

    // Reads [offset, offset + size) and, with it, what follows up to aheadEnd, within a block.
    bool Read(uint64_t offset, uint8_t* out, size_t size, uint64_t aheadEnd) {
        if (failed_ || size > BLOCK_BYTES || offset > size_ || size > size_ - offset) return Fail();
        if (offset < blockStart_ || offset - blockStart_ > blockSize_ || size > blockSize_ - (offset - blockStart_)) {
            const uint64_t ahead = std::min(aheadEnd, size_);
            const size_t following = ahead > offset ? static_cast<size_t>(std::min<uint64_t>(BLOCK_BYTES, ahead - offset)) : 0;
            const size_t load = std::max(size, following);
            if (load > MAX_BYTES_READ - bytesRead_ || !bytes_.ReadAt(offset, block_.get(), load)) return Fail();
            bytesRead_ += load;
            blockStart_ = offset;
            blockSize_ = load;
        }
        if (size != 0) std::memcpy(out, block_.get() + (offset - blockStart_), size);
        return true;
    }

private:
    const ByteSource& bytes_;
    const uint64_t size_;
    std::unique_ptr<uint8_t[]> block_;
    uint64_t blockStart_ = 0;
    size_t blockSize_ = 0;
    uint64_t bytesRead_ = 0;
    unsigned boxes_ = 0;
    bool failed_ = false;
};

struct Box {
    uint32_t type = 0;
    uint64_t payload = 0;
    uint64_t end = 0;
    // Runs past the file's end: a file cut short. Only a top-level box may.
    bool cut = false;

    uint64_t PayloadSize() const { return end - payload; }
};

// The boxes of a range, one after the other. A size of 1 takes the 64-bit size that follows the
// type; a size of 0 runs to the range's end. Fewer than 8 bytes left end the range (QuickTime
// may close a list with four zero bytes).
class Boxes {
public:
    Boxes(Reader& reader, uint64_t begin, uint64_t end, bool topLevel = false)
        : reader_(reader), position_(begin), end_(end), topLevel_(topLevel) {}

    bool Next(Box& box) {
        if (reader_.Failed() || end_ - position_ < 8 || !reader_.CountBox()) return false;
        // At the top level only the header is read: what lies between two top-level boxes is
        // mostly the pictures and the sound.
        const uint64_t ahead = topLevel_ ? position_ + 16 : end_;
        uint8_t header[16];
        if (!reader_.Read(position_, header, 8, ahead)) return false;
        uint64_t size = Be32(header);
        uint64_t headerSize = 8;
        if (size == 1) {
            if (end_ - position_ < 16 || !reader_.Read(position_ + 8, header + 8, 8, ahead)) return reader_.Fail();
            size = Be64(header + 8);
            headerSize = 16;
        } else if (size == 0) {
            size = end_ - position_;
        }
        if (size < headerSize) return reader_.Fail();
        box.type = Be32(header + 4);
        box.payload = position_ + headerSize;
        box.cut = size > end_ - position_;
        if (box.cut && !topLevel_) return reader_.Fail();
        box.end = box.cut ? end_ : position_ + size;
        position_ = box.end;
        return true;
    }

private:
    Reader& reader_;
    uint64_t position_;
    const uint64_t end_;
    const bool topLevel_;
};

// The first bytes of a box's payload, up to MAX_LEAF_BYTES; false (odd) when there are fewer
// than `needed`.
bool ReadLeaf(Reader& reader, const Box& box, uint8_t (&out)[MAX_LEAF_BYTES], size_t needed, size_t& got) {
    got = static_cast<size_t>(std::min<uint64_t>(box.PayloadSize(), MAX_LEAF_BYTES));
    if (got < needed) return reader.Fail();
    return reader.Read(box.payload, out, got, box.end);
}

struct Track {
    uint32_t handler = 0;
    int rotationClockwise = 0;
    bool hasEntry = false;
    Box firstEntry;
    // Whether the track's samples are in this file, as its first data reference says.
    bool selfContained = true;
    bool hasChunks = false;
    uint32_t chunkCount = 0;
    uint64_t firstChunk = 0;
    bool hasSizes = false;
    uint32_t sampleCount = 0;
    uint64_t firstSampleSize = 0;
};

// The matrix maps a stored point (p, q) to (a p + c q, b p + d q) on a screen whose y runs
// down: (0, 1, -1, 0) takes the stored picture's right edge to the bottom, a quarter turn
// clockwise.
int RotationOf(int64_t a, int64_t b, int64_t c, int64_t d) {
    if (b == 0 && c == 0 && a == d && a != 0) return a > 0 ? 0 : 180;
    if (a == 0 && d == 0 && c == -b && b != 0) return b > 0 ? 90 : 270;
    return 0;
}

int32_t SignedBe32(const uint8_t* p) {
    const uint32_t bits = Be32(p);
    return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

bool ReadTrackHeader(Reader& reader, const Box& box, Track& track) {
    uint8_t data[MAX_LEAF_BYTES];
    size_t size = 0;
    if (!ReadLeaf(reader, box, data, 1, size)) return false;
    const size_t matrix = data[0] == 1 ? 52 : 40;
    if (size < matrix + 36) return reader.Fail();
    const uint8_t* m = data + matrix;
    track.rotationClockwise = RotationOf(SignedBe32(m), SignedBe32(m + 4), SignedBe32(m + 12), SignedBe32(m + 16));
    return true;
}

bool ReadDataReferences(Reader& reader, const Box& dinf, Track& track) {
    Boxes children(reader, dinf.payload, dinf.end);
    Box dref;
    while (children.Next(dref)) {
        if (dref.type != Tag("dref") || dref.PayloadSize() < 8) continue;
        Boxes entries(reader, dref.payload + 8, dref.end);
        Box first;
        if (!entries.Next(first)) break;
        uint8_t data[MAX_LEAF_BYTES];
        size_t size = 0;
        if (!ReadLeaf(reader, first, data, 4, size)) return false;
        track.selfContained = (data[3] & 1) != 0;
        break;
    }
    return !reader.Failed();
}

bool ReadSampleTable(Reader& reader, const Box& stbl, Track& track) {
    Boxes children(reader, stbl.payload, stbl.end);
    Box box;
    uint8_t data[MAX_LEAF_BYTES];
    size_t size = 0;
    while (children.Next(box)) {
        if (box.type == Tag("stsd")) {
            if (!ReadLeaf(reader, box, data, 8, size)) return false;
            if (Be32(data + 4) == 0) continue;
            Boxes entries(reader, box.payload + 8, box.end);
            if (!entries.Next(track.firstEntry)) return reader.Fail();
            track.hasEntry = true;
        } else if (box.type == Tag("stco") || box.type == Tag("co64")) {
            const bool wide = box.type == Tag("co64");
            if (!ReadLeaf(reader, box, data, 8, size)) return false;
            track.hasChunks = true;
            track.chunkCount = Be32(data + 4);
            if (track.chunkCount == 0) continue;
            if (size < (wide ? 16u : 12u)) return reader.Fail();
            track.firstChunk = wide ? Be64(data + 8) : Be32(data + 8);
        } else if (box.type == Tag("stsz")) {
            if (!ReadLeaf(reader, box, data, 12, size)) return false;
            track.hasSizes = true;
            track.firstSampleSize = Be32(data + 4);
            track.sampleCount = Be32(data + 8);
            if (track.firstSampleSize != 0 || track.sampleCount == 0) continue;
            if (size < 16) return reader.Fail();
            track.firstSampleSize = Be32(data + 12);
        } else if (box.type == Tag("stz2")) {
            if (!ReadLeaf(reader, box, data, 12, size)) return false;
            track.hasSizes = true;
            track.sampleCount = Be32(data + 8);
            if (track.sampleCount == 0) continue;
            const uint8_t fieldBits = data[7];
            if (size < 14 || (fieldBits != 4 && fieldBits != 8 && fieldBits != 16)) return reader.Fail();
            track.firstSampleSize =
                fieldBits == 16 ? Be16(data + 12) : fieldBits == 8 ? data[12] : static_cast<uint32_t>(data[12] >> 4);
        }
    }
    return !reader.Failed();
}

bool ReadMedia(Reader& reader, const Box& mdia, Track& track) {
    Boxes children(reader, mdia.payload, mdia.end);
    Box box;
    while (children.Next(box)) {
        if (box.type == Tag("hdlr")) {
            // The media's own handler; minf may hold a data handler ('dhlr') of its own.
            uint8_t data[MAX_LEAF_BYTES];
            size_t size = 0;
            if (!ReadLeaf(reader, box, data, 12, size)) return false;
            track.handler = Be32(data + 8);
        } else if (box.type == Tag("minf")) {
            Boxes information(reader, box.payload, box.end);
            Box part;
            while (information.Next(part)) {
                if (part.type == Tag("stbl") && !ReadSampleTable(reader, part, track)) return false;
                if (part.type == Tag("dinf") && !ReadDataReferences(reader, part, track)) return false;
            }
        }
    }
    return !reader.Failed();
}

bool ReadTrack(Reader& reader, const Box& trak, Track& track) {
    Boxes children(reader, trak.payload, trak.end);
    Box box;
    while (children.Next(box)) {
        if (box.type == Tag("tkhd") && !ReadTrackHeader(reader, box, track)) return false;
        if (box.type == Tag("mdia") && !ReadMedia(reader, box, track)) return false;
    }
    return !reader.Failed();
}

// Reads bits of an H.264 parameter set, its emulation-prevention bytes already taken out.
class Bits {
public:
    Bits(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Take(unsigned count, uint32_t& value) {
        value = 0;
        for (unsigned i = 0; i < count; ++i, ++position_) {
            if (position_ / 8 >= size_) return false;
            value = value << 1 | ((data_[position_ / 8] >> (7 - position_ % 8)) & 1u);
        }
        return true;
    }

    // An unsigned exp-Golomb code.
    bool Golomb(uint32_t& value) {
        unsigned zeros = 0;
        uint32_t bit = 0;
        while (Take(1, bit) && bit == 0) {
            if (++zeros > 31) return false;
        }
        if (bit != 1) return false;
        uint32_t rest = 0;
        if (!Take(zeros, rest)) return false;
        value = static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + rest);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// The H.264 profiles whose sequence parameter sets carry the chroma format and the bit depths;
// the others are 4:2:0 at 8 bits.
bool CarriesChromaFormat(uint32_t profile) {
    static const uint32_t profiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
    return std::find(std::begin(profiles), std::end(profiles), profile) != std::end(profiles);
}

void ReadAvcSequenceParameters(const uint8_t* nal, size_t size, VideoTrackFacts& video) {
    if (size < 2 || (nal[0] & 0x1F) != 7) return;
    // The fields wanted lie in the first few bytes.
    uint8_t payload[32];
    size_t length = 0;
    unsigned zeros = 0;
    for (size_t i = 1; i < size && length < sizeof payload; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        payload[length++] = nal[i];
    }
    Bits bits(payload, length);
    uint32_t profile = 0, constraints = 0, level = 0, id = 0;
    if (!bits.Take(8, profile) || !bits.Take(8, constraints) || !bits.Take(8, level) || !bits.Golomb(id) || id > 31) {
        return;
    }
    video.profile = static_cast<int>(profile);
    if (!CarriesChromaFormat(profile)) {
        video.chromaFormat = 1;
        video.bitDepth = 8;
        return;
    }
    uint32_t chroma = 0, separatePlanes = 0, depth = 0;
    if (!bits.Golomb(chroma) || chroma > 3) return;
    if (chroma == 3 && !bits.Take(1, separatePlanes)) return;
    if (!bits.Golomb(depth) || depth > 6) return;
    video.chromaFormat = static_cast<int>(chroma);
    video.bitDepth = depth + 8;
}

void ReadAvcConfiguration(const uint8_t* data, size_t size, VideoTrackFacts& video) {
    if (size < 6) return;
    video.profile = data[1];
    if ((data[5] & 0x1F) == 0 || size < 8) return;
    const size_t length = std::min<size_t>(Be16(data + 6), size - 8);
    ReadAvcSequenceParameters(data + 8, length, video);
}

void ReadHevcConfiguration(const uint8_t* data, size_t size, VideoTrackFacts& video) {
    if (size < 18) return;
    const uint8_t profile = data[1] & 0x1F;
    if (profile != 0) video.profile = profile;
    video.chromaFormat = data[16] & 3;
    video.bitDepth = (data[17] & 7u) + 8;
}

void ReadAv1Configuration(const uint8_t* data, size_t size, VideoTrackFacts& video) {
    if (size < 3 || data[0] != 0x81) return;
    video.profile = data[1] >> 5;
    const uint8_t flags = data[2];
    const bool highDepth = (flags & 0x40) != 0, twelveBit = (flags & 0x20) != 0, monochrome = (flags & 0x10) != 0;
    const bool halfWidth = (flags & 0x08) != 0, halfHeight = (flags & 0x04) != 0;
    video.bitDepth = twelveBit ? 12 : highDepth ? 10 : 8;
    video.chromaFormat = monochrome ? 0 : halfWidth && halfHeight ? 1 : halfWidth ? 2 : 3;
}

void ReadVp9Configuration(const uint8_t* data, size_t size, VideoTrackFacts& video) {
    if (size < 7 || data[0] != 1) return;
    video.profile = data[4];
    video.bitDepth = static_cast<uint32_t>(data[6] >> 4);
    const int subsampling = (data[6] >> 1) & 7;
    video.chromaFormat = subsampling <= 1 ? 1 : subsampling == 2 ? 2 : subsampling == 3 ? 3 : -1;
}

struct ProResFlavour {
    uint32_t tag;
    const wchar_t* name;
    int chromaFormat;
};

const ProResFlavour proResFlavours[] = {
    {Tag("apco"), L"Apple ProRes 422 Proxy", 2}, {Tag("apcs"), L"Apple ProRes 422 LT", 2},
    {Tag("apcn"), L"Apple ProRes 422", 2},       {Tag("apch"), L"Apple ProRes 422 HQ", 2},
    {Tag("ap4h"), L"Apple ProRes 4444", 3},      {Tag("ap4x"), L"Apple ProRes 4444 XQ", 3},
};

const ProResFlavour* FindProRes(uint32_t tag) {
    const auto found = std::find_if(std::begin(proResFlavours), std::end(proResFlavours),
                                    [tag](const ProResFlavour& flavour) { return flavour.tag == tag; });
    return found == std::end(proResFlavours) ? nullptr : found;
}

// A visual sample entry: 8 bytes of the general sample entry, then 70 of the visual one (the
// width and height at 24 and 26 of the payload; QuickTime's version and vendor fields take the
// place of the reserved ones), then boxes.
constexpr uint64_t VISUAL_ENTRY_BYTES = 78;

bool ReadVideoEntry(Reader& reader, const Box& entry, VideoTrackFacts& video) {
    uint8_t data[MAX_LEAF_BYTES];
    size_t size = 0;
    if (!ReadLeaf(reader, entry, data, VISUAL_ENTRY_BYTES, size)) return false;
    video.storedWidth = Be16(data + 24);
    video.storedHeight = Be16(data + 26);
    const uint8_t tag[4] = {static_cast<uint8_t>(entry.type >> 24), static_cast<uint8_t>(entry.type >> 16),
                            static_cast<uint8_t>(entry.type >> 8), static_cast<uint8_t>(entry.type)};
    if (std::all_of(std::begin(tag), std::end(tag), [](uint8_t c) { return c >= 0x20 && c < 0x7F; })) {
        std::memcpy(video.codec, tag, 4);
    }
    if (const ProResFlavour* proRes = FindProRes(entry.type)) video.chromaFormat = proRes->chromaFormat;

    Boxes children(reader, entry.payload + VISUAL_ENTRY_BYTES, entry.end);
    Box box;
    while (children.Next(box)) {
        void (*readConfiguration)(const uint8_t*, size_t, VideoTrackFacts&) = nullptr;
        if (box.type == Tag("avcC")) readConfiguration = ReadAvcConfiguration;
        if (box.type == Tag("hvcC")) readConfiguration = ReadHevcConfiguration;
        if (box.type == Tag("av1C")) readConfiguration = ReadAv1Configuration;
        if (box.type == Tag("vpcC")) readConfiguration = ReadVp9Configuration;
        if (box.type != Tag("pasp") && !readConfiguration) continue;
        if (!ReadLeaf(reader, box, data, 0, size)) return false;
        if (readConfiguration) {
            readConfiguration(data, size, video);
        } else if (size >= 8 && Be32(data) != 0 && Be32(data + 4) != 0) {
            video.pixelAspectX = Be32(data);
            video.pixelAspectY = Be32(data + 4);
        }
    }
    return !reader.Failed();
}

// Whether the track places its first sample whole inside the file; -1 when it cannot tell,
// 0 when it has no sample.
int FirstSampleInside(const Track& track, uint64_t fileSize) {
    if (!track.hasChunks || !track.hasSizes || !track.selfContained) return -1;
    if (track.chunkCount == 0 || track.sampleCount == 0) return 0;
    return track.firstChunk <= fileSize && track.firstSampleSize <= fileSize - track.firstChunk ? 1 : 2;
}

}  // namespace

MovieFacts ReadMovieFacts(const ByteSource& bytes) {
    Reader reader(bytes);
    MovieFacts facts;
    bool fragmented = false;
    bool tracksWhole = true;
    bool trackFound = false;
    bool judged = true;
    bool sampleFound = false;
    bool sampleInside = false;

    Boxes top(reader, 0, reader.FileSize(), true);
    Box box;
    while (top.Next(box)) {
        if (box.type == Tag("moof")) fragmented = true;
        if (box.type != Tag("moov")) {
            if (box.cut) break;
            continue;
        }
        if (box.cut) return {};
        Boxes children(reader, box.payload, box.end);
        Box child;
        while (children.Next(child)) {
            if (child.type == Tag("mvex")) fragmented = true;
            if (child.type != Tag("trak")) continue;
            Track track;
            if (!ReadTrack(reader, child, track)) return {};
            trackFound = true;
            tracksWhole = tracksWhole && track.handler != 0 && track.hasEntry && track.hasChunks && track.hasSizes;
            const int inside = FirstSampleInside(track, reader.FileSize());
            judged = judged && inside >= 0;
            sampleFound = sampleFound || inside > 0;
            sampleInside = sampleInside || inside == 1;
            if (track.handler != Tag("vide") || facts.video.found || !track.hasEntry) continue;
            if (!ReadVideoEntry(reader, track.firstEntry, facts.video)) return {};
            facts.video.found = true;
            facts.video.rotationClockwise = track.rotationClockwise;
        }
        break;
    }
    if (reader.Failed()) return {};
    facts.endsBeforeFirstSample = !fragmented && judged && sampleFound && !sampleInside;
    facts.tracksWhole = trackFound && tracksWhole;
    return facts;
}

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
