// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture loader's own JPEG reader: baseline and progressive JPEG files of grey, YCbCr or RGB
// pixels decoded by libjpeg-turbo with its default settings (the accurate integer inverse DCT,
// smooth chroma upsampling), which are the ones the image engine decodes them with, straight into
// the bitmap. CMYK files, files libjpeg warns about (data cut short or damaged) and files it
// refuses are left to the engine.

#include <cstdint>
#include <span>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

// True when `jpeg` was read into `dib` (24 bits). False, with `dib` empty, for a file left to
// the engine. Throws PictureTooBig, before the decoder or the bitmap takes pixel memory, when the
// declared size is outside PictureSizeAllowed (common/limits.h).
bool DecodeJpeg(std::span<const std::uint8_t> jpeg, cDIBSection& dib);

}  // namespace pictrova::imaging
