// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The picture holder: what the options page's picture box `Creator` is to the run. It holds at
// most one picture, as 24-bit pixels, loaded from a file of one of the kinds the picture loader
// reads (told apart by content), and gives it back for saving.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "imaging/dib_section.h"

namespace pictrova::imaging {

// A picture over the engine's resource limits (width, height, pixels, memory): the loader's
// "out of memory" case.
// Its size, when the picture's header was read before it was refused.
class PictureTooBig : public Error {
  public:
    explicit PictureTooBig(std::string what, std::int64_t width = 0, std::int64_t height = 0)
        : Error(std::move(what)), width_(width), height_(height) {}
    std::int64_t width() const noexcept { return width_; }
    std::int64_t height() const noexcept { return height_; }

  private:
    std::int64_t width_;
    std::int64_t height_;
};

class PictureHolder {
  public:
    // Assigns the empty picture.
    void Clear() { image_.CleanUp(); }

    // True when a picture is held (the picture's handle is not zero).
    bool HasPicture() const { return image_.dib_width() > 0; }

    // Replaces the picture by the one in `path`: BMP (and DIB), JPEG, GIF, WMF, EMF, ICO or CUR,
    // recognised from the content. Transparent parts come out white; a metafile is drawn over
    // black at the size its placeable header (EMF: its frame) gives. On failure the holder is
    // empty and PictureTooBig (over the resource limits) or Error (anything else) is thrown.
    //
    // EMF is drawn by a program of its own (see emf_loader.h): the one EMF library Debian ships
    // (libemf2svg, through libuemf) exports functions named like those of the engine's metafile
    // library (wmf_free), and with both in one process the standard metafiles crash.
    void LoadFromFile(const std::filesystem::path& path);

    // LoadFromFile for a picture file's bytes already in memory.
    void LoadFromMemory(std::span<const std::uint8_t> bytes);

    // The whole picture as pixels: 24-bit, bottom row first, rows padded to 4 bytes.
    const cDIBSection& Image() const { return image_; }
    cDIBSection& Image() { return image_; }

    // The picture as the bytes of a 24-bit BMP file (file header, 40-byte info header, pixel
    // rows). Throws Error when nothing is held.
    std::vector<std::uint8_t> BmpFileBytes() const;

    // Writes BmpFileBytes to `path`. Throws Error when nothing is held or the file cannot be
    // written.
    void SaveAsBmp(const std::filesystem::path& path) const;

  private:
    cDIBSection image_;
};

// The bitmap as the bytes of a 24-bit BMP file. Throws Error for an empty or 32-bit bitmap.
std::vector<std::uint8_t> Bmp24FileBytes(const cDIBSection& image);

}  // namespace pictrova::imaging
