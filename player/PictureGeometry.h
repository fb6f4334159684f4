#pragma once
// How a movie's stored pictures are shown: turned upright, and with their pixels at their own
// shape, so that a phone's portrait movie stands and an anamorphic one is not squeezed. Plain
// C++: no platform call.

#include "moviefile/MovieFacts.h"

#include <cstdint>

struct PictureSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

struct PictureGeometry {
    // How far the stored picture is turned clockwise to stand upright: 0, 90, 180 or 270.
    int rotationClockwise = 0;
    // The width of a stored pixel to its height.
    uint32_t pixelAspectX = 1;
    uint32_t pixelAspectY = 1;

    bool SquarePixels() const { return pixelAspectX == pixelAspectY; }
    bool ShownAsStored() const { return rotationClockwise == 0 && SquarePixels(); }
};

// The geometry from what the platform says of the stream and what the file's structure says of
// its first video track. The platform's rotation is its count of degrees counter-clockwise, 0
// when it gives none; its pixel aspect ratio is 0/0 when it gives none. A value that is not a
// quarter turn, or a ratio out of all reason, counts as unknown.
PictureGeometry ChoosePictureGeometry(uint32_t platformRotationCounterClockwise, uint32_t platformAspectX,
                                      uint32_t platformAspectY, const VideoTrackFacts& file);

// The size a stored picture is shown at: the pixel aspect applied to its width, then turned.
// A stretched width is rounded to an even count, as the 4:2:0 colour samples cover pixel pairs.
PictureSize DisplayedSize(PictureSize stored, const PictureGeometry& geometry);
