// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small copy of a picture for a contact sheet: the picture scaled down so that its longer side
// is at most `longestSide` pixels, each pixel the average of the area it covers (a picture that
// already fits is copied as it is), written as a JPEG with the standard Huffman tables (made for
// every picture of a run, where fitting the tables would cost a second pass each).

#include <cstdint>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

inline constexpr int kThumbnailLongestSide = 160;
inline constexpr std::uint32_t kThumbnailJpegQuality = 80;

// The scaled bitmap (24-bit). Throws Error for an empty bitmap.
cDIBSection ScaleDownToFit(const cDIBSection& picture, int longestSide);

// ScaleDownToFit to kThumbnailLongestSide as a JPEG file's bytes.
std::vector<std::uint8_t> ThumbnailJpeg(const cDIBSection& picture);

}  // namespace pictrova::imaging
