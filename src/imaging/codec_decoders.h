// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The loader's own readers, one row per picture kind: BMP (ours), JPEG (libjpeg-turbo), PNG
// (libpng) and GIF (giflib), each decoding straight into the bitmap with the engine's pixels and
// leaving every file it does not fully understand to the engine.

#include <cstdint>
#include <span>

#include "imaging/dib_section.h"
#include "imaging/picture_kind.h"

namespace pictrova::imaging {

// True when the reader for `kind` decoded `bytes` into `dib`. False, with `dib` empty, when there
// is no reader for the kind or it left the file to the engine. Throws PictureTooBig, before any
// pixel memory is taken, for a picture declared over the limits.
bool DecodeWithCodecLibrary(PictureKind kind, std::span<const std::uint8_t> bytes,
                            cDIBSection& dib);

}  // namespace pictrova::imaging
