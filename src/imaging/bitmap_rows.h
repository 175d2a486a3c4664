// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A cDIBSection's pixels as the encoders read them: rows top first (the bitmap keeps them bottom
// first), each pixel blue, green, red, and for a 32-bit bitmap a fourth byte that is not used.

#include <cstddef>
#include <cstdint>

#include "common/error.h"
#include "imaging/dib_section.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {

class BitmapRows {
  public:
    // Throws Error for an empty bitmap and PictureTooBig for one over the pixel limits, before an
    // encoder takes any memory for it.
    explicit BitmapRows(const cDIBSection& dib)
        : width_(static_cast<std::size_t>(dib.dib_width() > 0 ? dib.dib_width() : 0)),
          height_(static_cast<std::size_t>(dib.dib_height() > 0 ? dib.dib_height() : 0)),
          channels_(static_cast<std::size_t>(dib.dib_channels())),
          stride_(static_cast<std::size_t>(dib.BytesPerScanLine())),
          bits_(dib.DIBSectionBitsPtr()) {
        if (width_ == 0 || height_ == 0 || bits_ == nullptr)
            throw Error("no picture");
        if (!PictureSizeAllowed(dib.dib_width(), dib.dib_height()))
            throw PictureTooBig("picture larger than the encoders take", dib.dib_width(),
                                dib.dib_height());
    }

    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t channels() const { return channels_; }  // 3 or 4
    // Row `y` counted from the top.
    const std::uint8_t* Row(std::size_t y) const { return bits_ + (height_ - 1 - y) * stride_; }

  private:
    std::size_t width_, height_, channels_, stride_;
    const std::uint8_t* bits_;
};

}  // namespace pictrova::imaging
