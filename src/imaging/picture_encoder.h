// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The converter's work as a library: a picture encoded from memory into BMP, PNG, GIF, TIFF, TGA
// or PCX. The run encodes the picture it loaded (no intermediate file, no process); the
// converter program reads a picture file of any kind the engine knows, found by its content,
// and writes the result through an atomic file (common/file_io.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "imaging/dib_section.h"

namespace pictrova::imaging {

enum class EncodedFormat { Bmp, Png, Gif, Tiff, Tga, Pcx, Jpeg };

struct EncodeSettings {
    EncodedFormat format = EncodedFormat::Bmp;
    // PNG: tens the zlib level, units the row filter; JPEG: 0..100 (above 100 as 100; none: 85)
    std::optional<std::uint32_t> quality;
    bool dither = false;                   // GIF
    std::optional<std::uint32_t> colours;  // GIF, 2..256 (default 256)
};

// The 24-bit picture encoded in `settings.format`. Throws PictureTooBig or Error.
std::vector<std::uint8_t> EncodePicture(const cDIBSection& picture, const EncodeSettings& settings);

// A picture file's bytes (kind found from the content; metafiles go through the checked
// metafile loader) encoded in `settings.format`, transparency flattened onto white. Damaged
// input is refused rather than encoded in part. Throws PictureTooBig or Error.
std::vector<std::uint8_t> ConvertPictureBytes(std::span<const std::uint8_t> input,
                                              const EncodeSettings& settings);

// A picture file's bytes read as ConvertPictureBytes reads them, into 24-bit pixels.
void DecodeAnyPicture(std::span<const std::uint8_t> input, cDIBSection& picture);
void DecodeAnyPicture(const std::filesystem::path& file, cDIBSection& picture);

}  // namespace pictrova::imaging
