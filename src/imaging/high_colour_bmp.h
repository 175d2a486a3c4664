// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// 16-bit BMP files widened to 24 bits before the image engine reads them. The engine's BMP
// reader scales a 5-bit channel by truncation (31 becomes 247, 1 becomes 7), one level below what
// every other reader shows. Each channel of n bits is widened here by repeating its bits
// (v << 3 | v >> 2 for 5 bits, v << 2 | v >> 4 for 6), as ImageMagick and Windows do, so
// 0 stays 0 and the largest value becomes 255.
//
// Layout read (all little-endian):
//   file header  0 "BM", 10 u32 offset of the pixel bits
//   info header 14 u32 header size (40 or more), 18 i32 width, 22 i32 height (negative: top row
//               first), 28 u16 bit count (16), 30 u32 compression (0 BI_RGB: 5-5-5;
//               3 BI_BITFIELDS: masks)
//   masks       54 u32 red, 58 u32 green, 62 u32 blue (BI_BITFIELDS: after a 40-byte header, or
//               inside a longer one at the same place)
//   pixels      rows of u16, each padded to a multiple of 4 bytes

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pictrova::imaging {

// The same picture as a 24-bit BMP file (rows in the same order), or nothing when `bmp` is not a
// whole 16-bit BI_RGB or BI_BITFIELDS BMP with contiguous masks of 1 to 8 bits within the
// bitmap class's limits: such files go to the engine unchanged and it judges them. Never throws.
std::optional<std::vector<std::uint8_t>> WidenHighColourBmp(std::span<const std::uint8_t> bmp);

}  // namespace pictrova::imaging
