// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The image engine's side of the seam, with Magick++ types: reading picture bytes with a named
// coder and moving pixels between engine images and bitmaps. Built into the engine module
// (engine_module.cpp) and, for the tests and benchmarks that compare with the engine, linked
// into them directly; the program itself never includes it.

#include <Magick++.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "imaging/dib_section.h"
#include "imaging/engine_module.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

// Refused for the engine's resource limits (memory, map, pixels): a picture that may fit when
// nothing else holds the engine's memory.
class EngineOverLimits : public PictureTooBig {
  public:
    using PictureTooBig::PictureTooBig;
};

// Starts the engine with `start` on the first call (of this or of any function below); later
// calls do nothing. Without a call, the first use starts it with EngineStartFor's default
// limits, as the program starts its module.
void StartEngineLibrary(const EngineStart& start);
void StartEngineLibrary();

// The engine's memory and map limits raised by what it holds now (see EngineCalls).
void WidenEngineLimitsInChild();

// Decodes the first frame of `bytes` with the named coder (empty: the engine's own detection).
// Throws EngineOverLimits or Error (the engine's reason in the description). `strict` also
// refuses a picture the engine found damaged but decoded in part (truncated data).
Magick::Image ReadEngineImage(std::span<const std::uint8_t> bytes, std::string_view coder,
                              bool strict = false);

// Writes the image as 24-bit pixels, flattened onto white where transparent, into the bitmap
// `allocate` gives. Throws PictureTooBig when it gives none.
void EngineImageToBitmap(const Magick::Image& image, EngineBitmapAllocator allocate, void* context);

// An engine image of 24-bit (or 32-bit: the fourth byte unused) pixels, bottom row first.
Magick::Image BitmapToEngineImage(const std::uint8_t* bits, std::int32_t width, std::int32_t height,
                                  std::int32_t stride, std::int32_t channels);

// Runs `action` and turns the engine's exceptions into EngineOverLimits or Error.
template <typename Action>
auto WithEngineErrors(Action&& action) -> decltype(action());

[[noreturn]] void ThrowEngineError(const Magick::Exception& e);

template <typename Action>
auto WithEngineErrors(Action&& action) -> decltype(action()) {
    try {
        return action();
    } catch (const Magick::Exception& e) {
        ThrowEngineError(e);
    }
}

// The bitmap forms of the two above, for the tests and benchmarks (the module never makes a
// cDIBSection itself).
inline void EngineImageToDib(const Magick::Image& image, cDIBSection& dib) {
    EngineImageToBitmap(
        image,
        [](void* context, std::int32_t width, std::int32_t height,
           std::int32_t* stride) -> std::uint8_t* {
            auto& bitmap = *static_cast<cDIBSection*>(context);
            if (!bitmap.Create(width, height, 3))
                return nullptr;
            *stride = bitmap.BytesPerScanLine();
            return bitmap.DIBSectionBitsPtr();
        },
        &dib);
}

inline Magick::Image DibToEngineImage(const cDIBSection& dib) {
    return BitmapToEngineImage(dib.DIBSectionBitsPtr(), dib.dib_width(), dib.dib_height(),
                               dib.BytesPerScanLine(), dib.dib_channels());
}

}  // namespace pictrova::imaging
