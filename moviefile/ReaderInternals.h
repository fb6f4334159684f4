#pragma once
// What the reader's parts share: four-character codes and big-endian fields, the ProRes
// flavours (the reader takes their chroma format, the naming their names) and the readers of
// the decoder configurations that a visual sample entry carries.

#include "moviefile/MovieFacts.h"

#include <cstddef>
#include <cstdint>

namespace movie_file {

constexpr uint32_t Tag(const char (&name)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 | static_cast<uint8_t>(name[3]);
}

inline uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
inline uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
inline uint64_t Be64(const uint8_t* p) { return static_cast<uint64_t>(Be32(p)) << 32 | Be32(p + 4); }

struct ProResFlavour {
    uint32_t tag;
    const wchar_t* name;
    int chromaFormat;
};

// Null when the tag names no ProRes flavour.
const ProResFlavour* FindProRes(uint32_t tag);

// Each takes a configuration box's payload and fills what it says of the profile, the chroma
// format and the bit depth.
void ReadAvcConfiguration(const uint8_t* data, size_t size, VideoTrackFacts& video);
void ReadHevcConfiguration(const uint8_t* data, size_t size, VideoTrackFacts& video);
void ReadAv1Configuration(const uint8_t* data, size_t size, VideoTrackFacts& video);
void ReadVp9Configuration(const uint8_t* data, size_t size, VideoTrackFacts& video);

}  // namespace movie_file
