// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The seam to the image engine shared by the picture holder, the converter and the run: reading
// picture files, and decoding picture bytes with a named coder through the engine module
// (image_engine.h), which is loaded the first time a picture needs it. No engine types here.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/limits.h"
#include "imaging/dib_section.h"
#include "imaging/engine_module.h"

namespace pictrova::imaging {

// The whole file. Throws Error when it cannot be read or is larger than `maxBytes`
// (kMaxPictureFileBytes: common/limits.h).
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path,
                                        std::uintmax_t maxBytes = kMaxPictureFileBytes);

struct EngineDecodeOptions {
    // Also refuse a picture the engine found damaged but decoded in part (truncated data).
    bool strict = false;
    // Ignore the alpha the engine reads (a BMP whose fourth byte is not alpha).
    bool dropAlpha = false;
};

// Decodes the first frame of `bytes` with the named coder (empty: the engine's own detection)
// into 24-bit pixels, flattened onto white where transparent. Throws PictureTooBig when the
// engine refuses the picture for its resource limits (noted with NoteResourceShortfall) or it is
// larger than the bitmap class makes, Error for every other failure (the engine's reason, or
// why the engine could not be loaded, in the description). On failure `dib` is empty.
void DecodeWithEngine(std::span<const std::uint8_t> bytes, std::string_view coder, cDIBSection& dib,
                      EngineDecodeOptions options = {});

// The engine's name for the format of `bytes`, found from their first 4096. Throws Error when it
// finds none.
std::string EngineDetectedFormat(std::span<const std::uint8_t> bytes);

// Throws what `outcome` reports unless it is kEngineDone (PictureTooBig, after noting a
// resource shortfall when the engine's limits refused the picture, or Error).
void ThrowUnlessDone(const EngineOutcome& outcome);

}  // namespace pictrova::imaging
