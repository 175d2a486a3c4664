// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Loading an enhanced metafile (EMF) into the bitmap class. The records are checked here and
// the picture's size is computed here, from its frame on the bitmap's reference device (a
// 96-dpi screen unless set otherwise); the drawing itself is done by the pictrova-emf program,
// found beside this one (or in ../libexec/pictrova/), started from an isolated child for each
// picture: a metafile that crashes or stalls the drawing libraries costs its own load only.

#include <cstdint>
#include <span>
#include <string_view>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

inline constexpr std::string_view kEmfProgramName = "pictrova-emf";

// Fills `image` with the drawn metafile (areas it does not paint are white). Throws Error, with
// `image` empty, when the records are damaged, the picture is empty or too large, the drawing
// program is missing, or the drawing fails; MetafileNotRendered when its estimated cost is over
// the budget or the drawing overruns its time.
void LoadEnhancedMetafile(std::span<const std::uint8_t> bytes, cDIBSection& image);

}  // namespace pictrova::imaging
