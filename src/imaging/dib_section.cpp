// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/dib_section.h"

namespace pictrova::imaging {

// Placeholder until metafile rendering lands: every metafile is refused.
bool cDIBSection::WMFtoBMP(std::vector<std::uint8_t>&, std::int32_t&, std::int32_t&, std::int32_t&) {
    CleanUp();
    return false;
}

std::int32_t cDIBSection::BytesPerScanLine() const {
    return ((biBitCount_ / 8) * biWidth_ + 3) & ~3;
}

bool cDIBSection::Create(std::int32_t, std::int32_t, std::int32_t) { return false; }

void cDIBSection::GetDIBBytes(std::vector<std::uint8_t>& bBytes) const { bBytes = bits_; }

void cDIBSection::CleanUp() {
    bits_.clear();
    biWidth_ = biHeight_ = biBitCount_ = 0;
}

}  // namespace pictrova::imaging
