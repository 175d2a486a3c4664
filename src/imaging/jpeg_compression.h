// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Baseline JPEG from our bitmap through libjpeg-turbo, written into memory: quality 0..100 as
// the library's quality scale (above 100 as 100), the chroma halved both ways below quality 90
// and kept whole from 90 up, Huffman tables fitted to the picture, a JFIF header of 72 dots per
// inch (the files the program has always written).

#include <cstdint>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// Throws PictureTooBig over the pixel limits, Error when the library fails.
std::vector<std::uint8_t> EncodeJpeg(const cDIBSection& picture, std::uint32_t quality);

}  // namespace pictrova::imaging
