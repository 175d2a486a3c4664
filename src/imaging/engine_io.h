// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The seam to the image engine shared by the picture holder, the JPEG encoder and the
// converter program: reading picture bytes with a named coder, and moving pixels between engine
// images and cDIBSection. Includes Magick++: only src/imaging and src/converter include this.

#include <Magick++.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "common/limits.h"
#include "imaging/dib_section.h"

namespace pictrova::imaging {

// The whole file. Throws Error when it cannot be read or is larger than `maxBytes`
// (kMaxPictureFileBytes: common/limits.h).
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path,
                                        std::uintmax_t maxBytes = kMaxPictureFileBytes);

// Decodes the first frame of `bytes` with the named coder (empty: the engine's own detection).
// Starts the engine when needed. Throws PictureTooBig when the engine refuses the picture for
// its resource limits, Error for every other failure (the engine's reason in the description).
// `strict` also refuses a picture the engine found damaged but decoded in part (truncated data).
Magick::Image ReadEngineImage(std::span<const std::uint8_t> bytes, std::string_view coder,
                              bool strict = false);

// Fills `dib` with the image as 24-bit pixels, flattened onto `background` where it is
// transparent. Throws PictureTooBig when the image is larger than cDIBSection makes.
void EngineImageToDib(const Magick::Image& image, cDIBSection& dib,
                      const Magick::Color& background = Magick::Color(MaxRGB, MaxRGB, MaxRGB));

// An engine image of the 24-bit pixels.
Magick::Image DibToEngineImage(const cDIBSection& dib);

// Runs `action` and turns the engine's exceptions into PictureTooBig (resource limits) or Error.
template <typename Action>
auto WithEngineErrors(Action&& action) -> decltype(action());

void ThrowEngineError(const Magick::Exception& e);

template <typename Action>
auto WithEngineErrors(Action&& action) -> decltype(action()) {
    try {
        return action();
    } catch (const Magick::Exception& e) {
        ThrowEngineError(e);
        throw;  // not reached
    }
}

}  // namespace pictrova::imaging
