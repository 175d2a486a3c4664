// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's standard-metafile reader, as the metafile loader (dib_section.cpp) uses it through
// the engine module: the metrics of its text and the drawing of a checked, placeable metafile.

#include <cstdint>
#include <span>

namespace pictrova::imaging {

// The line spacing per em of the reader's sans-serif face (Arial and most faces map to it); 1
// when it cannot be measured. Measured once.
double ReaderLineSpacingPerEm();

// Draws `placeable` at `xDpi` x `yDpi` onto a white canvas of `width` x `height` and writes it
// into `out` as 24-bit rows, bottom row first, `stride` bytes apart. Throws Error when the reader
// fails.
void DrawPlaceableMetafile(std::span<const std::uint8_t> placeable, double xDpi, double yDpi,
                           std::int32_t width, std::int32_t height, std::span<std::uint8_t> out,
                           std::int32_t stride);

}  // namespace pictrova::imaging
