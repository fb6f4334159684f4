#pragma once
// Turning and stretching NV12 pictures in memory: a plane of luma bytes, then a plane of
// interleaved colour pairs at half the width and height, each row stride bytes after the last.
// Plain C++: no platform call.

#include <cstddef>
#include <cstdint>

struct Nv12View {
    uint8_t* luma = nullptr;
    ptrdiff_t lumaStride = 0;
    uint8_t* chroma = nullptr;
    ptrdiff_t chromaStride = 0;
    // In pixels; the colour plane covers (width + 1) / 2 pairs by (height + 1) / 2 rows.
    uint32_t width = 0;
    uint32_t height = 0;
};

// Where the two planes of a contiguous NV12 picture lie: the colour plane follows the luma rows,
// counted in pairs.
Nv12View ContiguousNv12(uint8_t* data, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t frameHeight);

// The bytes a contiguous NV12 picture of frameHeight rows takes.
size_t ContiguousNv12Size(ptrdiff_t stride, uint32_t frameHeight);

// Writes source turned clockwise by 0, 90, 180 or 270 degrees into target, whose size must be
// source's turned.
void TurnNv12(const Nv12View& source, const Nv12View& target, int clockwise);

// Writes source stretched or squeezed across to target's width into target, which has as many
// rows; each output pixel is interpolated between its two nearest source pixels.
void StretchNv12(const Nv12View& source, const Nv12View& target);
