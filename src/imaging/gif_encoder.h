// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The GIF encoder of the converter: reduces a 24-bit picture to a palette of at most 256 colours
// and writes it with giflib.
//
// - A picture of no more colours than the palette holds keeps every colour exactly.
// - Otherwise libimagequant chooses the palette (from rows spread over the picture, at most
//   2^18 pixels) and, when asked, the pixels are spread over it by Floyd-Steinberg error
//   diffusion; without dithering each takes its nearest entry. Pure white and pure black are
//   palette entries whenever the picture has them, and every pixel of either colour stays exactly
//   that colour.
//
// The functions are pure: pixels in, file bytes out. The header includes neither Magick++ nor
// the two libraries, so any caller may use it.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// Pixels as 8-bit red, green, blue, 3 bytes a pixel, rows packed, top row first.
struct RgbPixels {
    std::span<const std::uint8_t> rgb;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct GifOptions {
    std::uint32_t colours = 256;  // palette size, 2 to 256
    bool dither = true;           // error diffusion when the palette cannot hold every colour
};

// A picture already reduced to a palette: one index a pixel, rows packed, top row first.
struct IndexedPixels {
    std::span<const std::uint8_t> indexes;
    std::span<const std::array<std::uint8_t, 3>> palette;  // red, green, blue; 1 to 256 entries
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The largest side a GIF file can state.
inline constexpr std::uint32_t kMaxGifSide = 65535;

// The whole GIF file (GIF87a, one frame, no transparency). Throws Error when the pixels do not
// match the size, a side is zero or over kMaxGifSide, or a library fails.
std::vector<std::uint8_t> EncodeGif(const RgbPixels& pixels, const GifOptions& options = {});

// The GIF file of the bitmap's pixels (its 24 bits; a fourth byte is ignored), as EncodeGif.
std::vector<std::uint8_t> EncodeGif(const cDIBSection& picture, const GifOptions& options = {});

// The GIF file of an indexed picture, written as it is. Throws Error as EncodeGif does, and when
// an index is outside the palette.
std::vector<std::uint8_t> EncodeIndexedGif(const IndexedPixels& pixels);

}  // namespace pictrova::imaging
