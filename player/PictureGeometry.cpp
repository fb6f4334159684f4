#include "player/PictureGeometry.h"

namespace {

// Pixels more than four times wider than tall, or the reverse, are no movie's: a damaged file.
constexpr uint64_t MAX_ASPECT = 4;

bool QuarterTurn(int degrees) { return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270; }

bool SaneAspect(uint32_t x, uint32_t y) {
    return x != 0 && y != 0 && uint64_t{x} <= MAX_ASPECT * y && uint64_t{y} <= MAX_ASPECT * x;
}

}  // namespace

PictureGeometry ChoosePictureGeometry(uint32_t platformRotationCounterClockwise, uint32_t platformAspectX,
                                      uint32_t platformAspectY, const VideoTrackFacts& file) {
    PictureGeometry geometry;
    // The platform documents its count (MF_MT_VIDEO_ROTATION) as the frame's rotation
    // counter-clockwise: how far the stored frame is turned from upright, so that standing it up
    // again takes as many degrees clockwise. Wine 10 writes 0 on every stream whatever the file
    // says, so a 0 leaves it to the file.
    const uint32_t turn = platformRotationCounterClockwise;
    if (turn == 90 || turn == 180 || turn == 270) {
        geometry.rotationClockwise = static_cast<int>(turn);
    } else if (file.found && QuarterTurn(file.rotationClockwise)) {
        geometry.rotationClockwise = file.rotationClockwise;
    }

    if (SaneAspect(platformAspectX, platformAspectY)) {
        geometry.pixelAspectX = platformAspectX;
        geometry.pixelAspectY = platformAspectY;
    } else if (file.found && SaneAspect(file.pixelAspectX, file.pixelAspectY)) {
        geometry.pixelAspectX = file.pixelAspectX;
        geometry.pixelAspectY = file.pixelAspectY;
    }
    return geometry;
}

PictureSize DisplayedSize(PictureSize stored, const PictureGeometry& geometry) {
    PictureSize shown = stored;
    if (!geometry.SquarePixels() && geometry.pixelAspectY != 0) {
        const uint64_t pairs = (uint64_t{stored.width} * geometry.pixelAspectX + geometry.pixelAspectY) /
                               (2 * uint64_t{geometry.pixelAspectY});
        shown.width = static_cast<uint32_t>(pairs < 1 ? 2 : 2 * pairs);
    }
    if (geometry.rotationClockwise == 90 || geometry.rotationClockwise == 270) {
        return {shown.height, shown.width};
    }
    return shown;
}
