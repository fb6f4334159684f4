#include "player/FrameTurn.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The quarter turns walk the source down its columns; in tiles of this many elements square,
// the rows a tile reads stay in the cache while it is written.
constexpr uint32_t TILE = 32;

struct Plane {
    uint8_t* data;
    ptrdiff_t stride;
    uint32_t width;
    uint32_t height;

    uint8_t* Row(uint32_t y) const { return data + static_cast<ptrdiff_t>(y) * stride; }
};

Plane LumaOf(const Nv12View& view) { return {view.luma, view.lumaStride, view.width, view.height}; }

Plane ChromaOf(const Nv12View& view) {
    return {view.chroma, view.chromaStride, (view.width + 1) / 2, (view.height + 1) / 2};
}

template <size_t Bytes>
void CopyElement(uint8_t* to, const uint8_t* from) {
    std::memcpy(to, from, Bytes);
}

template <size_t Bytes>
void Turn180(const Plane& source, const Plane& target) {
    for (uint32_t y = 0; y < target.height; ++y) {
        const uint8_t* from = source.Row(source.height - 1 - y) + (source.width - 1) * Bytes;
        uint8_t* to = target.Row(y);
        for (uint32_t x = 0; x < target.width; ++x, to += Bytes, from -= Bytes) CopyElement<Bytes>(to, from);
    }
}

// Swaps the upper right and lower left quarters of every square of 2 * span rows: the elements
// at odd places of the upper rows with those at even places of the lower ones.
template <uint32_t Span, uint32_t Shift, uint64_t Mask>
void SwapQuarters(uint64_t* rows, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (i & Span) continue;
        const uint64_t swapped = ((rows[i] >> Shift) ^ rows[i + Span]) & Mask;
        rows[i + Span] ^= swapped;
        rows[i] ^= swapped << Shift;
    }
}

// A square block of 8 / Bytes elements a side, one 64-bit word a row, transposed in place: the
// element in word r at place c goes to word c at place r. Words are read and written in memory
// order on a little-endian machine, as every machine that runs Windows is: place c is byte
// c * Bytes of the row.
template <size_t Bytes>
void Transpose(uint64_t* rows) {
    if constexpr (Bytes == 1) {
        SwapQuarters<1, 8, 0x00FF00FF00FF00FFull>(rows, 8);
        SwapQuarters<2, 16, 0x0000FFFF0000FFFFull>(rows, 8);
        SwapQuarters<4, 32, 0x00000000FFFFFFFFull>(rows, 8);
    } else {
        SwapQuarters<1, 16, 0x0000FFFF0000FFFFull>(rows, 4);
        SwapQuarters<2, 32, 0x00000000FFFFFFFFull>(rows, 4);
    }
}

// Target pixel (x, y) is source pixel (y, h - 1 - x) turned clockwise, (w - 1 - y, x) the other
// way. Whole blocks go through a transpose in registers; the edges of sizes that are not a
// multiple of the block go pixel by pixel.
template <size_t Bytes>
void TurnQuarter(const Plane& source, const Plane& target, bool clockwise) {
    constexpr uint32_t side = 8 / Bytes;
    const ptrdiff_t down = clockwise ? -source.stride : source.stride;
    for (uint32_t top = 0; top < target.height; top += TILE) {
        const uint32_t bottom = std::min(top + TILE, target.height);
        for (uint32_t left = 0; left < target.width; left += TILE) {
            const uint32_t right = std::min(left + TILE, target.width);
            for (uint32_t y0 = top; y0 < bottom; y0 += side) {
                for (uint32_t x0 = left; x0 < right; x0 += side) {
                    if (y0 + side <= bottom && x0 + side <= right) {
                        uint64_t rows[side];
                        for (uint32_t k = 0; k < side; ++k) {
                            const uint32_t sourceY = clockwise ? source.height - 1 - x0 - k : x0 + k;
                            const uint32_t sourceX = clockwise ? y0 : source.width - side - y0;
                            std::memcpy(&rows[k], source.Row(sourceY) + sourceX * Bytes, 8);
                        }
                        Transpose<Bytes>(rows);
                        for (uint32_t r = 0; r < side; ++r) {
                            const uint32_t y = clockwise ? y0 + r : y0 + side - 1 - r;
                            std::memcpy(target.Row(y) + x0 * Bytes, &rows[r], 8);
                        }
                        continue;
                    }
                    const uint32_t blockBottom = std::min(y0 + side, bottom);
                    const uint32_t blockRight = std::min(x0 + side, right);
                    for (uint32_t y = y0; y < blockBottom; ++y) {
                        const uint32_t sourceX = clockwise ? y : source.width - 1 - y;
                        const uint32_t sourceY = clockwise ? source.height - 1 - x0 : x0;
                        const uint8_t* from = source.Row(sourceY) + sourceX * Bytes;
                        uint8_t* to = target.Row(y) + x0 * Bytes;
                        for (uint32_t x = x0; x < blockRight; ++x, to += Bytes, from += down) {
                            CopyElement<Bytes>(to, from);
                        }
                    }
                }
            }
        }
    }
}

template <size_t Bytes>
void TurnPlane(const Plane& source, const Plane& target, int clockwise) {
    if (source.width == 0 || source.height == 0) return;
    switch (clockwise) {
    case 90:
    case 270:
        TurnQuarter<Bytes>(source, target, clockwise == 90);
        return;
    case 180:
        Turn180<Bytes>(source, target);
        return;
    default:
        for (uint32_t y = 0; y < target.height; ++y) std::memcpy(target.Row(y), source.Row(y), target.width * Bytes);
        return;
    }
}

// For each target column, the source column to its left and the weight, out of 256, of the one
// after it.
struct Taps {
    std::vector<uint32_t> left;
    std::vector<uint32_t> weight;
};

Taps TapsFor(uint32_t sourceWidth, uint32_t targetWidth) {
    Taps taps;
    taps.left.resize(targetWidth);
    taps.weight.resize(targetWidth);
    // Pixel centres line up: target x + 1/2 maps to source (x + 1/2) * sourceWidth / targetWidth,
    // in 1/256ths.
    for (uint32_t x = 0; x < targetWidth; ++x) {
        const int64_t centre = ((2 * int64_t{x} + 1) * sourceWidth * 256) / (2 * int64_t{targetWidth}) - 128;
        const int64_t at = std::clamp<int64_t>(centre, 0, (int64_t{sourceWidth} - 1) * 256);
        taps.left[x] = static_cast<uint32_t>(at / 256);
        taps.weight[x] = static_cast<uint32_t>(at % 256);
    }
    return taps;
}

template <size_t Bytes>
void StretchPlane(const Plane& source, const Plane& target) {
    if (source.width == 0 || target.width == 0) return;
    const Taps taps = TapsFor(source.width, target.width);
    const uint32_t last = source.width - 1;
    for (uint32_t y = 0; y < target.height; ++y) {
        const uint8_t* from = source.Row(y);
        uint8_t* to = target.Row(y);
        for (uint32_t x = 0; x < target.width; ++x) {
            const uint8_t* a = from + taps.left[x] * Bytes;
            const uint8_t* b = from + std::min(taps.left[x] + 1, last) * Bytes;
            const uint32_t w = taps.weight[x];
            for (size_t i = 0; i < Bytes; ++i) *to++ = static_cast<uint8_t>((a[i] * (256 - w) + b[i] * w + 128) >> 8);
        }
    }
}

uint32_t PairedRows(uint32_t rows) { return rows + (rows & 1); }

}  // namespace

Nv12View ContiguousNv12(uint8_t* data, ptrdiff_t stride, uint32_t width, uint32_t height, uint32_t frameHeight) {
    return {data, stride, data + stride * static_cast<ptrdiff_t>(PairedRows(frameHeight)), stride, width, height};
}

size_t ContiguousNv12Size(ptrdiff_t stride, uint32_t frameHeight) {
    return static_cast<size_t>(stride) * (PairedRows(frameHeight) + PairedRows(frameHeight) / 2);
}

void TurnNv12(const Nv12View& source, const Nv12View& target, int clockwise) {
    TurnPlane<1>(LumaOf(source), LumaOf(target), clockwise);
    TurnPlane<2>(ChromaOf(source), ChromaOf(target), clockwise);
}

void StretchNv12(const Nv12View& source, const Nv12View& target) {
    StretchPlane<1>(LumaOf(source), LumaOf(target));
    StretchPlane<2>(ChromaOf(source), ChromaOf(target));
}
