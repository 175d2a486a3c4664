// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// TIFF from our bitmap through libtiff, written into memory: little-endian, uncompressed,
// 8-bit RGB, contiguous samples, in strips of about a megabyte (the layout the program has
// always written), with the page number 0 of 1 and an unsigned-integer sample format.

#include <cstdint>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

std::vector<std::uint8_t> EncodeTiff(const cDIBSection& picture);

}  // namespace pictrova::imaging
