#pragma once
// What a movie file's own structure says about its first video track, read from the file's
// bytes (.mp4 and .mov alike). Plain C++: no platform call, so that it can be tested and fuzzed
// natively. Whatever the reader could not find, or did not trust, is left at its "unknown" value.

#include <cstddef>
#include <cstdint>
#include <string>

// The file's bytes, read at an offset. The reader reads only the box headers it walks and the
// boxes it looks into, in blocks of at most 64 KB, and never more than a few MB in all.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // False when the bytes cannot all be read.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) const = 0;
};

// A byte range already in memory.
class MemoryBytes final : public ByteSource {
public:
    MemoryBytes(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

struct VideoTrackFacts {
    bool found = false;
    // The size the sample entry stores the pictures at.
    uint32_t storedWidth = 0;
    uint32_t storedHeight = 0;
    // How far the stored picture must be turned clockwise to stand upright: 0, 90, 180 or 270.
    // A track matrix that mirrors, scales unevenly or turns by another angle gives 0.
    int rotationClockwise = 0;
    // The sample entry's pixel aspect ratio (pasp); 0/0 when it has none.
    uint32_t pixelAspectX = 0;
    uint32_t pixelAspectY = 0;
    // The sample entry's four-character code ("avc1", "hvc1", "apcn", ...); empty when unknown.
    char codec[5] = {};
    // From the decoder configuration (avcC, hvcC, av1C, vpcC), in the codec's own numbering
    // (H.264 profile_idc, HEVC general_profile_idc, AV1 seq_profile, VP9 profile); -1 when
    // unknown.
    int profile = -1;
    // Of the luma samples; 0 when unknown.
    uint32_t bitDepth = 0;
    // 0 monochrome, 1 4:2:0, 2 4:2:2, 3 4:4:4; -1 when unknown.
    int chromaFormat = -1;
};

struct MovieFacts {
    VideoTrackFacts video;
    // The sample tables were read and place no track's first sample whole inside the file: the
    // file ends before its first sample (a copy cut short, a download in progress). Never set
    // for a fragmented file, whose samples the tables do not place.
    bool endsBeforeFirstSample = false;
    // The file has tracks, and each has its handler, a sample entry and its sample tables:
    // nothing the reader looks for is missing.
    bool tracksWhole = false;
};

MovieFacts ReadMovieFacts(const ByteSource& bytes);

// The format the way users know it, for a line of the error box: codec, profile where it
// matters, and the bit depth where it is not 8, as in "HEVC (H.265) Main 10, 10-bit". Empty
// when the facts do not say enough.
std::wstring DescribeVideoFormat(const VideoTrackFacts& video);
