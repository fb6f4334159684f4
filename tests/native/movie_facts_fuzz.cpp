// The reader over any bytes: besides what the sanitizers catch, it never asks for a byte past
// the file's end, keeps to its read budget and gives facts within their ranges.
#include "moviefile/MovieFacts.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

class CheckedBytes final : public ByteSource {
public:
    CheckedBytes(const uint8_t* data, size_t size) : bytes_(data, size) {}
    uint64_t Size() const override { return bytes_.Size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override {
        if (offset > Size() || size > Size() - offset) std::abort();
        read_ += size;
        if (read_ > 4 * 1024 * 1024) std::abort();
        return bytes_.ReadAt(offset, buffer, size);
    }

private:
    MemoryBytes bytes_;
    mutable uint64_t read_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CheckedBytes bytes(data, size);
    const MovieFacts facts = ReadMovieFacts(bytes);
    const VideoTrackFacts& video = facts.video;
    if (video.rotationClockwise % 90 != 0 || video.rotationClockwise < 0 || video.rotationClockwise > 270) std::abort();
    if (video.chromaFormat < -1 || video.chromaFormat > 3 || video.codec[4] != '\0') std::abort();
    if ((video.pixelAspectX == 0) != (video.pixelAspectY == 0)) std::abort();
    if (!video.found && (video.storedWidth != 0 || video.codec[0] != '\0')) std::abort();
    DescribeVideoFormat(video);
    return 0;
}
