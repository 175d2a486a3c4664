// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The PNG encoder of the run and the converter: writes the bitmap's 8-bit pixels straight into a
// PNG file, without the image engine.
//
// - Colour type: the smallest one that keeps every pixel. A grey picture is grey, at the
//   smallest bit depth (1, 2, 4, 8) that holds each of its levels exactly, unless a palette of
//   fewer bits holds it; a picture of 256 colours or fewer is a palette of the smallest bit
//   depth for its count; anything else is 8-bit RGB.
// - Rows: palette and sub-byte rows unfiltered (filters cannot predict indexes); others filtered
//   row by row as libpng chooses (png_row_filter.h), or with one fixed filter when asked.
// - Compression: libdeflate, one zlib stream in one IDAT chunk.
// - Chunks: IHDR, PLTE (palette pictures), IDAT, IEND. No gamma, chromaticity, time or
//   resolution chunks: a reader shows the stored values as they are.

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

enum class PngColourType : std::uint8_t { Grey = 0, Rgb = 2, Palette = 3 };

struct PngOptions {
    int level = 6;                       // libdeflate level, 0 (stored) to 12
    std::optional<std::uint8_t> filter;  // 0 to 4: that filter on every row; none: adaptive
};

// The options a PNG quality asks for, as the converter has always read it: the tens a zlib
// level (mapped onto the libdeflate level that compresses as well), the units the row filter
// (0 to 4 one filter, 5 and up adaptive). Without a quality: 75.
PngOptions PngOptionsForQuality(std::optional<std::uint32_t> quality);

// The whole PNG file of the 24-bit picture. Throws Error when the picture is empty or a library
// fails.
std::vector<std::uint8_t> EncodePng(const cDIBSection& picture, const PngOptions& options = {});

}  // namespace pictrova::imaging
