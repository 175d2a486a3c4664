// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Enhanced metafiles with known content, for the EMF rendering tests, the package sample and the
// fuzz seeds. Logical units are device pixels of a 96-dpi reference device (1920 x 1440 pixels,
// 508 x 381 mm), and the frame is exactly width x height of them, so the picture renders at
// width x height pixels. Shapes have no outline (the stock null pen) so their edges are exact.

#include <cstdint>
#include <vector>

#include "ole_builder/pictures.h"

namespace pictrova::fixtures {

enum class EmfContent {
    Rectangles,  // red over the left half, green over the lower right quarter; upper right
                 // unpainted
    Polygon,     // a blue triangle: (w/2, 0), (w, h), (0, h), as EMR_POLYGON16
    Text,        // white "Pictrova" (Arial, h/3 high) at (w/10, h/4), on nothing
    BlackText,   // the same text in black
    Bitmap,      // EMR_STRETCHDIBITS of a 24-bit MakePackedDib(w, h) onto the whole frame, 1:1
};

Bytes MakeEnhancedMetafile(int width, int height, EmfContent content);

// An enhanced metafile of `count` of a costly primitive (see CostlyPrimitive) on a width x height
// frame: the polygon as one EMR_POLYGON16, the text as EMR_EXTTEXTOUTW records of 100
// characters, the fills as EMR_RECTANGLE.
Bytes MakeCostlyEnhancedMetafile(CostlyPrimitive primitive, int count, int width, int height);

// The colours the shapes above are filled with.
inline constexpr Rgb kEmfRed{220, 30, 30};
inline constexpr Rgb kEmfGreen{30, 180, 60};
inline constexpr Rgb kEmfBlue{30, 60, 220};

}  // namespace pictrova::fixtures
