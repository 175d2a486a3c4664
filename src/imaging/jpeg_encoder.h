// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The JPEG encoder (module SaveAsJPG): writes the picture holder's image as a JPEG file through
// libjpeg-turbo, straight from the bitmap (imaging/jpeg_compression.h).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

// Error number and description of a failed save: the description is followed at once by the
// status number of the step that failed.
inline constexpr std::int32_t kSaveJpgErrorNumber = 5;
inline constexpr std::string_view kSaveJpgErrorText = "Cannot save the image. GDI+ Error:";

// Status numbers of our encoder layer. They keep the numbering of the imaging library the
// original program used, so a report reads the same.
enum class JpegStatus : std::int32_t {
    Ok = 0,
    GenericError = 1,      // the encoder failed
    InvalidParameter = 2,  // the holder has no picture
    OutOfMemory = 3,       // the picture is over the pixel limits, or its memory was refused
    Win32Error = 7,        // the file could not be written or renamed into place
    AccessDenied = 12,     // the file or its folder is not writable
};

// Writes `picture` to `path` as a baseline JPEG. Quality 0..100 goes to the encoder as it is;
// values above 100 behave as 100. The file is written under a temporary name beside `path` and
// renamed into place, so a failure never leaves a partial file. Throws Error number 5 with the
// description "Cannot save the image. GDI+ Error:" + status number on failure.
void SaveJPG(const PictureHolder& picture, const std::filesystem::path& path, std::uint8_t quality);

// SaveJPG in two halves, for callers that encode in one place and write in another: the JPEG
// bytes, and the file written from them (temporary name, renamed into place). Each throws the
// error SaveJPG throws for its half.
std::vector<std::uint8_t> EncodeJPG(const PictureHolder& picture, std::uint8_t quality);
void WriteJPGFile(std::span<const std::uint8_t> encoded, const std::filesystem::path& path);
// The error WriteJPGFile throws for a write that failed with the system error `error`.
Error JpegWriteError(int error);

}  // namespace pictrova::imaging
