// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two formats that are a header and the pixels, written from our bitmap without a library.
//
// TGA (uncompressed true colour): an 18-byte header
//   0 identification length 0, 1 colour-map type 0, 2 image type 2 (true colour, uncompressed),
//   3..7 colour-map fields 0, 8 x origin 0, 10 y origin 0, 12 u16 width, 14 u16 height,
//   16 pixel depth 24, 17 image descriptor 0x20 (top-left origin: every reader shows those the
//   right way up; bottom-left ones are turned by some)
// then the rows top first, each pixel blue, green, red; no footer.
//
// PCX (version 5, 24-bit as three 8-bit planes): a 128-byte header
//   0 manufacturer 0x0A, 1 version 5, 2 encoding 1 (run-length), 3 bits per plane 8,
//   4 u16 x min 0, 6 u16 y min 0, 8 u16 x max (width - 1), 10 u16 y max (height - 1),
//   12 u16 horizontal and 14 u16 vertical resolution 0, 16..63 the 16-colour palette (zero),
//   64 reserved 0, 65 planes 3, 66 u16 bytes per plane line (the width, even when odd),
//   68 u16 palette information 1 (colour), 70..127 zero
// then each row as its red, green and blue planes, each plane run-length coded on its own: a
// run of 2..63 equal bytes, or a single byte of 0xC0 or more, as 0xC0 | count and the byte;
// any other single byte as it is. The file ends with 0x0C and a 768-byte palette of zeros (the
// trailer 8-bit files carry; readers of 24-bit files skip it).
//
// TGA sides are 16-bit: a wider picture is refused.

#include <cstdint>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

std::vector<std::uint8_t> EncodeTga(const cDIBSection& picture);
std::vector<std::uint8_t> EncodePcx(const cDIBSection& picture);

}  // namespace pictrova::imaging
