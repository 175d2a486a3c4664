// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/usage_map.h"

#include <array>

namespace pictrova::jet {

namespace {

constexpr std::uint8_t kInlineMap = 0;
constexpr std::uint8_t kReferenceMap = 1;
constexpr std::size_t kMaxInlineBitmapBytes = 59;  // a 64-byte row, as Access writes them

void SetBit(std::uint8_t* bitmap, std::uint32_t bit) {
    bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | 1u << (bit % 8));
}

}  // namespace

std::vector<std::uint8_t> BuildUsageMap(std::span<const std::uint32_t> pages,
                                        const BitmapPageWriter& writeBitmapPage) {
    if (pages.empty() || pages.back() - pages.front() < kMaxInlineBitmapBytes * 8) {
        std::uint32_t first = pages.empty() ? 0 : pages.front();
        std::vector<std::uint8_t> row(5 + kMaxInlineBitmapBytes);
        row[0] = kInlineMap;
        Put32(&row[1], first);
        for (std::uint32_t page : pages)
            SetBit(&row[5], page - first);
        return row;
    }
    std::uint32_t slots = pages.back() / kPagesPerBitmapPage + 1;
    std::vector<std::uint8_t> row(1 + std::size_t{slots} * 4);
    row[0] = kReferenceMap;
    std::size_t next = 0;
    for (std::uint32_t slot = 0; slot < slots; ++slot) {
        std::uint32_t base = slot * kPagesPerBitmapPage;
        if (next == pages.size() || pages[next] >= base + kPagesPerBitmapPage)
            continue;
        std::array<std::uint8_t, kPageSize> bitmap{};
        bitmap[0] = kPageUsageBitmap;
        bitmap[1] = 0x01;
        for (; next < pages.size() && pages[next] < base + kPagesPerBitmapPage; ++next)
            SetBit(&bitmap[4], pages[next] - base);
        Put32(&row[1 + std::size_t{slot} * 4], writeBitmapPage(bitmap));
    }
    return row;
}

}  // namespace pictrova::jet
