// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture loader's own GIF reader: the first frame of a GIF file decoded by giflib straight
// into the bitmap, with the pixels the image engine gives for it. A frame that covers the whole
// logical screen, interlaced or not, is read; its transparent colour (from the graphic control
// block before it) comes out white, as the engine's picture flattened onto white does. A frame
// placed inside a larger screen, a frame without a colour table, an index outside the table and
// data giflib refuses or finds cut short are left to the engine.

#include <cstdint>
#include <span>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// True when the first frame of `gif` was read into `dib` (24 bits). False, with `dib` empty, for
// a file left to the engine. Throws PictureTooBig, before the bitmap takes pixel memory, when the
// frame's declared size is outside PictureSizeAllowed (common/limits.h).
bool DecodeGif(std::span<const std::uint8_t> gif, cDIBSection& dib);

}  // namespace pictrova::imaging
