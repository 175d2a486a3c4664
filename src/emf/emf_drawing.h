// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drawing a checked enhanced metafile into pixels: libemf2svg turns the records into SVG,
// librsvg draws that onto a black canvas, and the metafile's frame is mapped onto the canvas.

#include <cstdint>
#include <vector>

#include "imaging/emf_records.h"

namespace pictrova::imaging {

struct Drawing {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rows;  // blue, green, red; top row first, no padding
};

// Throws Error when the size is not one the bitmap class makes.
void EnforceDrawingSize(const PixelSize& size);

// Throws Error when a library refuses the metafile.
Drawing DrawEnhancedMetafile(const CheckedEnhancedMetafile& metafile, const PixelSize& size);

}  // namespace pictrova::imaging
