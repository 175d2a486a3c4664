// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture kinds an object stores for display (a static picture's data, or the presentation
// stored after an embedded object's native data) turned into picture files:
// - a packed device-independent bitmap (info header, colour table, pixel bits) gets the BMP file
//   header in front;
// - a Windows metafile is rendered through the decoder's cDIBSection into a 24-bit BMP file;
// - a device bitmap (Bitmap16: i16 type, i16 width, i16 height, i16 bytes per row, u8 planes,
//   u8 bits per pixel, then the rows top first, each padded to 2 bytes) becomes a BMP file of
//   the same bit count with its rows bottom first, padded to 4 bytes.

#include <cstdint>
#include <span>
#include <vector>

namespace pictrova::ole {

// Makes `bytes` a BMP file from the packed DIB of `dibSize` bytes at `dibOffset` of the same
// array (at least 14: the DIB moves down to make room for the file header, so a large picture is
// not copied twice). Throws when the DIB's info header is incomplete.
void PackedDibToBmpFile(std::vector<std::uint8_t>& bytes, std::size_t dibOffset,
                        std::size_t dibSize);

// False when the renderer does not accept the metafile or its size.
bool MetafileToBmpFile(std::span<const std::uint8_t> metafile, std::int32_t mappingMode,
                       std::int32_t xExtent, std::int32_t yExtent, std::vector<std::uint8_t>& file);

// Monochrome (shown black and white), 24- and 32-bit bitmaps with one plane; false for the
// other bit counts, whose colours depend on the device that drew them. Throws when the rows do
// not fit the data.
bool Bitmap16ToBmpFile(std::span<const std::uint8_t> bitmap, std::vector<std::uint8_t>& file);

}  // namespace pictrova::ole
