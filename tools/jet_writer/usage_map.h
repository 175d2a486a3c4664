// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Usage maps: the rows that list which pages a table owns. Small, close-together page sets get
// an inline bitmap row (kind 0: first page, then one bit per page); anything else a reference
// row (kind 1: one u32 per range of 32736 pages naming a type-05 bitmap page, 0 = none).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "jet_writer/page_format.h"

namespace pictrova::jet {

// Receives a finished type-05 bitmap page and returns the page number it was written at.
using BitmapPageWriter = std::function<std::uint32_t(std::span<const std::uint8_t, kPageSize>)>;

// `pages` ascending and without duplicates.
std::vector<std::uint8_t> BuildUsageMap(std::span<const std::uint32_t> pages,
                                        const BitmapPageWriter& writeBitmapPage);

}  // namespace pictrova::jet
