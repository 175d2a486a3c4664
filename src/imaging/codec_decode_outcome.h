// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a codec library's decoder made of a file, shared by the JPEG and PNG readers: the picture;
// a file left to the engine (damaged, unusual, or one the library warned about); or one over the
// pixel limits, refused before its rows were allocated.

#include <cstdint>

#include "imaging/dib_section.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

enum class CodecOutcome { Decoded, LeftToEngine, TooBig };

// The size the file declared, for the too-large report.
struct DeclaredSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// True for a decoded picture; false, with the bitmap emptied, for one left to the engine; throws
// PictureTooBig for one over the limits.
inline bool DecodedElseLeftToEngine(CodecOutcome outcome, cDIBSection& dib,
                                    const DeclaredSize& declared) {
    if (outcome == CodecOutcome::Decoded)
        return true;
    dib.CleanUp();
    if (outcome == CodecOutcome::TooBig)
        throw PictureTooBig("picture larger than the bitmap class makes", declared.width,
                            declared.height);
    return false;
}

}  // namespace pictrova::imaging
