// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture loader's own PNG reader: opaque PNG files (grey, palette or RGB, any bit depth,
// interlaced or not) decoded by libpng straight into the bitmap, with the pixels the image engine
// gives for them. Files with transparency (an alpha channel or a tRNS chunk), 16-bit grey files
// (the engine rounds them its own way) and files libpng warns about or refuses are left to the
// engine.

#include <cstdint>
#include <span>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// True when `png` was read into `dib` (24 bits). False, with `dib` empty, for a file left to the
// engine. Throws PictureTooBig, before libpng or the bitmap takes pixel memory, when the declared
// size is outside PictureSizeAllowed (common/limits.h).
bool DecodePng(std::span<const std::uint8_t> png, cDIBSection& dib);

}  // namespace pictrova::imaging
