// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Baseline JPEG from our bitmap through libjpeg-turbo, written into memory: quality 0..100 as
// the library's quality scale (above 100 as 100), the chroma halved both ways below quality 90
// and kept whole from 90 up, Huffman tables fitted to the picture unless asked otherwise, a JFIF
// header of 72 dots per inch (the files the program has always written).

#include <cstdint>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// Fitted tables take a second pass over the picture's coefficients for a file a few per cent
// smaller; the standard ones (the same pixels) suit small pictures made in numbers, such as
// thumbnails, where that pass costs more than the bytes it saves.
enum class HuffmanTables { Fitted, Standard };

// Throws PictureTooBig over the pixel limits, Error when the library fails.
std::vector<std::uint8_t> EncodeJpeg(const cDIBSection& picture, std::uint32_t quality,
                                     HuffmanTables tables = HuffmanTables::Fitted);

}  // namespace pictrova::imaging
