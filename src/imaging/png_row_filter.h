// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The five PNG row filters and the choice among them that libpng makes when every filter is
// allowed: each row takes the filter whose output bytes, read as signed, have the smallest sum of
// absolute values (ties go to the earlier filter: None, Sub, Up, Average, Paeth). The choice
// predicts how well a row deflates without trying it.

#include <cstdint>
#include <span>

namespace pictrova::imaging {

enum class PngFilter : std::uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Filters `row` against `previous` (all zero for the first row) into `out` (same length) with
// `filter`. `pixelBytes` is the distance to the byte of the same channel in the pixel to the left
// (1 for pictures of fewer than 8 bits a pixel).
void FilterPngRow(PngFilter filter, std::span<const std::uint8_t> row,
                  std::span<const std::uint8_t> previous, std::size_t pixelBytes,
                  std::span<std::uint8_t> out);

// The filter libpng's adaptive heuristic picks for `row`, written into `out` (same length).
PngFilter FilterPngRowAdaptively(std::span<const std::uint8_t> row,
                                 std::span<const std::uint8_t> previous, std::size_t pixelBytes,
                                 std::span<std::uint8_t> out, std::span<std::uint8_t> scratch);

}  // namespace pictrova::imaging
