// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture loader's own BMP reader: the BMP files the run meets most, read straight into the
// bitmap without the image engine, with the pixels the engine gives for them.
//
// Read here (info header of 40 bytes or longer, one plane):
//   1, 4 and 8 bits with a colour table (4 bytes an entry; `colours used` entries, 2^bits when 0),
//   uncompressed or, bottom row first, RLE8 (8 bits) and RLE4 (4 bits): pixels the runs leave
//   alone show entry 0, as the engine shows them;
//   16 bits, widened as high_colour_bmp.h widens them;
//   24 bits uncompressed;
//   32 bits uncompressed, or with the masks of blue, green, red in bytes 0, 1, 2 and no alpha
//   mask (the fourth byte is not alpha then, and is ignored).
// Anything else (OS/2 headers, other masks, alpha, JPEG or PNG inside, an index outside the
// colour table, rows or runs cut short or running past the picture) is left to the engine,
// which decides whether and how to show it.

#include <cstdint>
#include <span>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// True when `bmp` was read into `dib` (24 bits). False, with `dib` empty, for a file left to the
// engine. Throws PictureTooBig, before any pixel memory is taken, when the declared size is
// outside PictureSizeAllowed (common/limits.h).
bool DecodeBmp(std::span<const std::uint8_t> bmp, cDIBSection& dib);

}  // namespace pictrova::imaging
