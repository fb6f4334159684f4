#include "moviefile/ReaderInternals.h"

#include <algorithm>
#include <iterator>

namespace movie_file {

namespace {

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

}  // namespace

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

}  // namespace movie_file
