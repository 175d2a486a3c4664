// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Page-level constants of Jet4/ACE files shared by the writer's parts, and the little-endian
// stores it writes them with.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pictrova::jet {

inline constexpr std::size_t kPageSize = 4096;

inline constexpr std::uint8_t kPageHeader = 0x00;
inline constexpr std::uint8_t kPageData = 0x01;  // table data, long values, map rows
inline constexpr std::uint8_t kPageTableDefinition = 0x02;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;

inline constexpr std::uint32_t kCatalogDefinitionPage = 2;  // both readers look for it there
inline constexpr std::uint32_t kMapHolderPage = 1;

// Data and long-value pages: header, then a u16 row-offset slot per row; rows fill downwards.
inline constexpr std::size_t kDataPageOwnerOffset = 4;
inline constexpr std::size_t kDataPageRowCountOffset = 12;
inline constexpr std::size_t kDataPageFirstSlotOffset = 14;
inline constexpr std::size_t kMaxRowsPerPage = 255;  // a row is addressed by one byte
inline constexpr std::size_t kMaxRowSize = kPageSize - kDataPageFirstSlotOffset - 2;  // 4080
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;                          // "LVAL"

// Long-value header in a row's variable slot: u32 length | storage flag, pg_row, 4 zeros.
inline constexpr std::size_t kLongValueHeaderSize = 12;
inline constexpr std::uint32_t kLongValueInline = 0x80000000;
inline constexpr std::uint32_t kLongValueSingleRow = 0x40000000;
inline constexpr std::uint32_t kLongValueMaxLength = 0x3FFFFFFF;
inline constexpr std::size_t kChainSegmentData = kMaxRowSize - 4;  // 4076, after the next pointer

// A usage-bitmap page (type 05) maps this many pages after its 4-byte header.
inline constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - 4) * 8;

inline std::uint32_t PageRow(std::uint32_t page, std::uint32_t row) {
    return page << 8 | row;
}

inline void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}
inline void PutDouble(std::uint8_t* p, double v) {
    std::memcpy(p, &v, sizeof v);
}  // x86/ARM: LE

}  // namespace pictrova::jet
