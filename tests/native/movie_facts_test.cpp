// The movie-file reader on the build's test movies, made by ffmpeg as phones, cameras and
// editors write them, and on a few files made here box by box.
#include "moviefile/MovieFacts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadMedia(const std::string& name) {
    const char* folder = std::getenv("MOVIEPANE_MEDIA");
    std::ifstream file(std::string(folder ? folder : ".") + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

MovieFacts Facts(const Bytes& bytes) { return ReadMovieFacts(MemoryBytes(bytes.data(), bytes.size())); }

struct Expected {
    const char* file;
    const char* codec;
    uint32_t width, height;
    int rotation;
    uint32_t aspectX, aspectY;
    int profile;
    uint32_t bitDepth;
    int chroma;
    const wchar_t* described;
};

TEST(ReadMovieFacts, TheTestMovies) {
    const Expected movies[] = {
        {"sample.mp4", "avc1", 320, 240, 0, 1, 1, 100, 8, 1, L"H.264 High"},
        {"sample.mov", "avc1", 320, 240, 0, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-90.mp4", "avc1", 320, 240, 90, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-180.mp4", "avc1", 320, 240, 180, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-270.mp4", "avc1", 320, 240, 270, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-90.mov", "avc1", 320, 240, 90, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-180.mov", "avc1", 320, 240, 180, 1, 1, 100, 8, 1, L"H.264 High"},
        {"rotate-270.mov", "avc1", 320, 240, 270, 1, 1, 100, 8, 1, L"H.264 High"},
        {"anamorphic-4x3.mp4", "avc1", 480, 360, 0, 4, 3, 100, 8, 1, L"H.264 High"},
        {"h264-10bit.mp4", "avc1", 320, 240, 0, 1, 1, 110, 10, 1, L"H.264 High 10, 10-bit"},
        {"h264-444.mp4", "avc1", 320, 240, 0, 1, 1, 244, 8, 3, L"H.264 High 4:4:4 Predictive"},
        {"hevc-10bit.mov", "hvc1", 320, 240, 0, 1, 1, 2, 10, 1, L"HEVC (H.265) Main 10, 10-bit"},
        {"prores.mov", "apcn", 320, 240, 0, 1, 1, -1, 0, 2, L"Apple ProRes 422"},
        {"rpza.mov", "rpza", 320, 240, 0, 1, 1, -1, 0, -1, L"Apple Video"},
        {"png-4x4.mov", "png ", 4, 4, 0, 1, 1, -1, 0, -1, L"PNG"},
    };
    for (const Expected& movie : movies) {
        SCOPED_TRACE(movie.file);
        const MovieFacts facts = Facts(ReadMedia(movie.file));
        const VideoTrackFacts& video = facts.video;
        ASSERT_TRUE(video.found);
        EXPECT_STREQ(video.codec, movie.codec);
        EXPECT_EQ(video.storedWidth, movie.width);
        EXPECT_EQ(video.storedHeight, movie.height);
        EXPECT_EQ(video.rotationClockwise, movie.rotation);
        EXPECT_EQ(video.pixelAspectX, movie.aspectX);
        EXPECT_EQ(video.pixelAspectY, movie.aspectY);
        EXPECT_EQ(video.profile, movie.profile);
        EXPECT_EQ(video.bitDepth, movie.bitDepth);
        EXPECT_EQ(video.chromaFormat, movie.chroma);
        EXPECT_EQ(DescribeVideoFormat(video), movie.described);
        EXPECT_FALSE(facts.endsBeforeFirstSample);
        EXPECT_TRUE(facts.tracksWhole);
    }
}

TEST(ReadMovieFacts, WhereTheDataEnds) {
    const Bytes sample = ReadMedia("sample.mp4");
    const MovieFacts cut = Facts(ReadMedia("cut-after-moov.mp4"));
    EXPECT_TRUE(cut.endsBeforeFirstSample);
    EXPECT_EQ(DescribeVideoFormat(cut.video), L"H.264 High");

    // Cut inside the first sample (past the mdat's header), and much later.
    const size_t afterMoov = ReadMedia("cut-after-moov.mp4").size();
    EXPECT_TRUE(Facts(Bytes(sample.begin(), sample.begin() + afterMoov + 9)).endsBeforeFirstSample);
    EXPECT_FALSE(Facts(ReadMedia("truncated.mp4")).endsBeforeFirstSample);
    // Cut inside the header: nothing is known.
    const MovieFacts header = Facts(Bytes(sample.begin(), sample.begin() + afterMoov - 1));
    EXPECT_FALSE(header.video.found);
    EXPECT_FALSE(header.endsBeforeFirstSample);
    EXPECT_FALSE(header.tracksWhole);

    const MovieFacts audio = Facts(ReadMedia("audio-only.mp4"));
    EXPECT_FALSE(audio.video.found);
    EXPECT_FALSE(audio.endsBeforeFirstSample);
    EXPECT_TRUE(audio.tracksWhole);
    for (const char* name : {"text.mp4", "empty.mp4"}) {
        const MovieFacts nothing = Facts(ReadMedia(name));
        EXPECT_FALSE(nothing.video.found) << name;
        EXPECT_FALSE(nothing.endsBeforeFirstSample) << name;
        EXPECT_EQ(DescribeVideoFormat(nothing.video), L"") << name;
    }
}

// Counts what the reader asks for.
class CountedBytes final : public ByteSource {
public:
    explicit CountedBytes(const Bytes& bytes) : bytes_(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return bytes_.Size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override {
        ++reads;
        bytesRead += size;
        return bytes_.ReadAt(offset, buffer, size);
    }
    mutable unsigned reads = 0;
    mutable uint64_t bytesRead = 0;

private:
    MemoryBytes bytes_;
};

TEST(ReadMovieFacts, ReadsTheHeaderAloneInAFewReads) {
    const Bytes movie = ReadMedia("hd720.mp4");
    const CountedBytes counted(movie);
    EXPECT_TRUE(ReadMovieFacts(counted).video.found);
    EXPECT_LE(counted.reads, 4u);
    EXPECT_LE(counted.bytesRead, 64u * 1024);
}

// Files made box by box.
void Append(Bytes& to, std::initializer_list<Bytes> parts) {
    for (const Bytes& part : parts) to.insert(to.end(), part.begin(), part.end());
}

Bytes U32(uint32_t value) {
    return {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
}

Bytes Box(const char* type, std::initializer_list<Bytes> parts) {
    Bytes payload;
    Append(payload, parts);
    Bytes box = U32(uint32_t(payload.size() + 8));
    box.insert(box.end(), type, type + 4);
    Append(box, {payload});
    return box;
}

Bytes Zeros(size_t count) { return Bytes(count, 0); }

struct Layout {
    int32_t matrix[4] = {0x10000, 0, 0, 0x10000};
    uint32_t firstChunk = 0;
    bool fragmented = false;
    bool sampleTableRunsOver = false;
    bool withoutChunkOffsets = false;
};

// A moov with one video track of one 100-byte sample at firstChunk.
Bytes Movie(const Layout& layout) {
    Bytes header = Zeros(40);
    for (int32_t value : {layout.matrix[0], layout.matrix[1], 0, layout.matrix[2], layout.matrix[3], 0, 0, 0, 0x40000000}) {
        Append(header, {U32(uint32_t(value))});
    }
    Append(header, {Zeros(8)});
    Bytes entryFields = Zeros(78);
    entryFields[25] = 64;
    entryFields[27] = 48;
    const char* chunkOffsets = layout.withoutChunkOffsets ? "free" : "stco";
    Bytes sampleTable = Box("stbl", {Box("stsd", {Zeros(4), U32(1), Box("avc1", {entryFields})}),
                                     Box("stsz", {Zeros(4), U32(100), U32(1)}),
                                     Box(chunkOffsets, {Zeros(4), U32(1), U32(layout.firstChunk)})});
    if (layout.sampleTableRunsOver) sampleTable[3] += 1;
    const Bytes handler = Box("hdlr", {Zeros(8), {'v', 'i', 'd', 'e'}, Zeros(12)});
    Bytes moov = Box("moov", {Box("trak", {Box("tkhd", {header}), Box("mdia", {handler, Box("minf", {sampleTable})})})});
    if (layout.fragmented) moov = Box("moov", {Bytes(moov.begin() + 8, moov.end()), Box("mvex", {})});
    return moov;
}

TEST(ReadMovieFacts, BoxesOfEveryKindOfSize) {
    // A 64-bit sized mdat before the moov, and a moov whose size 0 runs to the file's end.
    Bytes file = {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0, 0, 0, 116};
    Append(file, {Zeros(100)});
    Layout layout;
    layout.firstChunk = 16;
    Bytes moov = Movie(layout);
    std::memset(moov.data(), 0, 4);
    Append(file, {moov});
    MovieFacts facts = Facts(file);
    EXPECT_TRUE(facts.video.found);
    EXPECT_EQ(facts.video.storedWidth, 64u);
    EXPECT_EQ(facts.video.storedHeight, 48u);
    EXPECT_FALSE(facts.endsBeforeFirstSample);

    // The same sample placed past the file's end; without its chunk offsets, not placed at all.
    layout.firstChunk = uint32_t(file.size());
    EXPECT_TRUE(Facts(Movie(layout)).endsBeforeFirstSample);
    layout.withoutChunkOffsets = true;
    facts = Facts(Movie(layout));
    EXPECT_TRUE(facts.video.found);
    EXPECT_FALSE(facts.endsBeforeFirstSample);
    EXPECT_FALSE(facts.tracksWhole);
    layout.withoutChunkOffsets = false;
    // A fragmented movie's tables place no sample: it is not judged.
    layout.fragmented = true;
    facts = Facts(Movie(layout));
    EXPECT_TRUE(facts.video.found);
    EXPECT_FALSE(facts.endsBeforeFirstSample);
    // A box that runs past its parent leaves nothing known.
    layout.fragmented = false;
    layout.sampleTableRunsOver = true;
    facts = Facts(Movie(layout));
    EXPECT_FALSE(facts.video.found);
    EXPECT_FALSE(facts.endsBeforeFirstSample);
}

TEST(ReadMovieFacts, OnlyQuarterTurnsOfTheMatrixCount) {
    const struct {
        int32_t matrix[4];
        int rotation;
    } cases[] = {
        {{0, 0x10000, -0x10000, 0}, 90},
        {{-0x10000, 0, 0, -0x10000}, 180},
        {{0, -0x10000, 0x10000, 0}, 270},
        {{0, 0x20000, -0x20000, 0}, 90},
        {{-0x10000, 0, 0, 0x10000}, 0},   // mirrored
        {{0xB505, 0xB505, -0xB505, 0xB505}, 0},   // 45 degrees
        {{0, INT32_MIN, INT32_MIN, 0}, 0},
    };
    for (const auto& turn : cases) {
        Layout layout;
        std::memcpy(layout.matrix, turn.matrix, sizeof layout.matrix);
        EXPECT_EQ(Facts(Movie(layout)).video.rotationClockwise, turn.rotation) << turn.matrix[1];
    }
}

TEST(DescribeVideoFormat, NamesTheFormatAsUsersKnowIt) {
    const struct {
        const char* codec;
        int profile;
        uint32_t bitDepth;
        int chroma;
        const wchar_t* text;
    } formats[] = {
        {"avc1", 77, 8, 1, L"H.264 Main"},
        {"avc3", 122, 10, 2, L"H.264 High 4:2:2, 10-bit"},
        {"avc1", 7, 0, -1, L"H.264"},
        {"hev1", 4, 10, 2, L"HEVC (H.265) Main 4:2:2 10, 10-bit"},
        {"hvc1", 4, 8, 3, L"HEVC (H.265) Main 4:4:4"},
        {"av01", 0, 10, 1, L"AV1 Main, 10-bit"},
        {"vp09", 2, 12, 1, L"VP9 Profile 2, 12-bit"},
        {"ap4x", -1, 0, 3, L"Apple ProRes 4444 XQ"},
        {"xyzw", 1, 10, 1, L""},
    };
    for (const auto& format : formats) {
        VideoTrackFacts video;
        video.found = true;
        std::memcpy(video.codec, format.codec, 4);
        video.profile = format.profile;
        video.bitDepth = format.bitDepth;
        video.chromaFormat = format.chroma;
        EXPECT_EQ(DescribeVideoFormat(video), format.text) << format.codec;
    }
}

}  // namespace
