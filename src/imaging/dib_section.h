// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// cDIBSection: the program's one bitmap class. It owns a 24-bit (or 32-bit) bottom-up pixel
// buffer and renders Windows metafiles into it.

#include <cstdint>
#include <vector>

namespace pictrova::imaging {

class cDIBSection {
public:
    cDIBSection() = default;
    ~cDIBSection() { CleanUp(); }
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Replaces `bWMF` (the bits of a standard Windows metafile) by the pixel rows of a 24-bit
    // bottom-up DIB showing the rendered metafile, sized from the metafile's frame and the
    // reference device. False, with `bWMF` unchanged, when the metafile is not accepted or the
    // computed size is zero or too large.
    bool WMFtoBMP(std::vector<std::uint8_t>& bWMF, std::int32_t& mm, std::int32_t& xExt,
                  std::int32_t& yExt);

    std::int32_t dib_width() const { return biWidth_; }
    std::int32_t dib_height() const { return biHeight_; }
    std::int32_t dib_channels() const { return biBitCount_ / 8; }

    // Row length in bytes, padded to a multiple of 4.
    std::int32_t BytesPerScanLine() const;

    bool Create(std::int32_t lWidth, std::int32_t lHeight, std::int32_t lChannels);
    void GetDIBBytes(std::vector<std::uint8_t>& bBytes) const;
    void CleanUp();

    // The reference device metafiles are sized against: a 96-dpi screen unless set otherwise.
    struct ReferenceDevice {
        std::int32_t widthPixels = 1920;
        std::int32_t heightPixels = 1080;
        double widthMillimetres = 1920 * 25.4 / 96;
        double heightMillimetres = 1080 * 25.4 / 96;
    };
    void SetReferenceDevice(const ReferenceDevice& device) { device_ = device; }

private:
    std::vector<std::uint8_t> bits_;
    std::int32_t biWidth_ = 0;
    std::int32_t biHeight_ = 0;
    std::int32_t biBitCount_ = 0;
    std::int32_t biSizeImage_ = 0;
    ReferenceDevice device_;
};

}  // namespace pictrova::imaging
