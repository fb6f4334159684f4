#include "moviefile/ReaderInternals.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

using namespace movie_file;

bool MemoryBytes::ReadAt(uint64_t offset, void* buffer, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size != 0) std::memcpy(buffer, data_ + offset, size);
    return true;
}

namespace {

// What a damaged or hostile file may cost: the moov of a two-hour movie is read in a few blocks,
// since of its large tables only the headers and first entries are read.
constexpr size_t BLOCK_BYTES = 64 * 1024;
constexpr uint64_t MAX_BYTES_READ = 4 * 1024 * 1024;
constexpr unsigned MAX_BOXES = 10000;
// Of a box whose first bytes alone matter: a sample entry's header, a decoder configuration.
constexpr size_t MAX_LEAF_BYTES = 512;

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
