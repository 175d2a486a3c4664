// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// cDIBSection: the program's one bitmap class. It owns a 24-bit (or 32-bit) bottom-up pixel
// buffer and renders Windows metafiles into it.
//
// Metafiles are rendered without a graphics device: the picture frame comes from the mapping
// mode and extents of the picture header (or, when those give no size, from the metafile's own
// window records), its pixel size from the reference device, and the engine's metafile reader
// draws the records at exactly that size onto a white canvas.

#include <cstdint>
#include <optional>
#include <vector>

#include "common/limits.h"
#include "imaging/metafile_cost.h"
#include "imaging/metafile_frame.h"

namespace pictrova::imaging {

class cDIBSection {
  public:
    cDIBSection() = default;
    ~cDIBSection() { CleanUp(); }
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;
    cDIBSection(cDIBSection&&) noexcept = default;
    cDIBSection& operator=(cDIBSection&&) noexcept = default;

    // Replaces `bWMF` (the bits of a standard Windows metafile) by the pixel rows of a 24-bit
    // bottom-up DIB showing the rendered metafile, sized from the metafile's frame and the
    // reference device. False, with `bWMF` unchanged, when the metafile is not accepted or the
    // computed size is zero or too large. Never throws.
    bool WMFtoBMP(std::vector<std::uint8_t>& bWMF, std::int32_t& mm, std::int32_t& xExt,
                  std::int32_t& yExt);
    // Why the last WMFtoBMP gave false for a sound metafile (too costly, out of time); empty
    // after a drawing and after any other refusal.
    std::optional<RenderRefusal> lastRefusal() const { return refusal_; }

    std::int32_t dib_width() const { return biWidth_; }
    std::int32_t dib_height() const { return biHeight_; }
    std::int32_t dib_channels() const { return biBitCount_ / 8; }

    // Row length in bytes, padded to a multiple of 4.
    std::int32_t BytesPerScanLine() const;

    // A zero-filled (black) bitmap of the given size; 3 channels give 24 bits, any other 32.
    // False when the size is outside PictureSizeAllowed (common/limits.h).
    bool Create(std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels);
    void GetDIBBytes(std::vector<std::uint8_t>& bBytes) const;
    void CleanUp();

    // The pixel memory: biSizeImage bytes, bottom row first (null when empty).
    std::uint8_t* DIBSectionBitsPtr() { return bits_.empty() ? nullptr : bits_.data(); }
    const std::uint8_t* DIBSectionBitsPtr() const { return bits_.empty() ? nullptr : bits_.data(); }
    std::int32_t biSizeImage() const { return bits_.empty() ? 0 : biSizeImage_; }

    // The reference device metafiles are sized against: a 96-dpi screen unless set otherwise.
    void SetReferenceDevice(const ReferenceDevice& device) { device_ = device; }
    const ReferenceDevice& referenceDevice() const { return device_; }

  private:
    bool RenderMetafile(const std::vector<std::uint8_t>& bWMF, std::int32_t mm, std::int32_t xExt,
                        std::int32_t yExt);

    std::vector<std::uint8_t> bits_;
    std::int32_t biWidth_ = 0;
    std::int32_t biHeight_ = 0;
    std::int32_t biBitCount_ = 0;
    std::int32_t biSizeImage_ = 0;
    ReferenceDevice device_;
    std::optional<RenderRefusal> refusal_;
};

}  // namespace pictrova::imaging
