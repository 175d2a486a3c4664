// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Page 0, the file header. Bytes 0x18..0x97 are stored XOR-masked with the RC4 keystream of
// C7 DA 39 6B; inside them sit the database key, the code page, the sort order, the creation
// date and the Jet4 password (UCS-2, XORed with the integer part of the creation date).

#include <array>
#include <cstdint>

#include "jet_writer/jet_writer.h"
#include "jet_writer/page_format.h"

namespace pictrova::jet {

inline constexpr std::size_t kHeaderVersion = 0x14;
inline constexpr std::size_t kHeaderMaskStart = 0x18;
inline constexpr std::size_t kHeaderMaskLength = 128;
inline constexpr std::size_t kHeaderCodePage = 0x3C;
inline constexpr std::size_t kHeaderDatabaseKey = 0x3E;
inline constexpr std::size_t kHeaderPassword = 0x42;
inline constexpr std::size_t kHeaderPasswordLength = 40;
inline constexpr std::size_t kHeaderSortOrder = 0x6E;
inline constexpr std::size_t kHeaderSortVersion = 0x71;
inline constexpr std::size_t kHeaderCreationDate = 0x72;

// Throws pictrova::Error for a password Jet4 cannot hold (over 20 characters, or on ACE).
std::array<std::uint8_t, kPageSize> BuildHeaderPage(const DatabasePlan& plan);

}  // namespace pictrova::jet
