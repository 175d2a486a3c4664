// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for decoding hand-made fields in tests.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ole/ole_object_decoder.h"

namespace pictrova::ole::testing {

using Decoded = DecodeResult;

inline DecodeResult DecodeField(std::vector<std::uint8_t> field) {
    return DecodeOleObject(std::move(field));
}

inline void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t v) {
    bytes.at(at) = static_cast<std::uint8_t>(v);
    bytes.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int64_t v) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint32_t Get32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at) | bytes.at(at + 1) << 8 |
                                      bytes.at(at + 2) << 16 |
                                      static_cast<std::uint32_t>(bytes.at(at + 3)) << 24);
}

inline constexpr char kUnsupportedText[] =
    "Sorry...this OLE object contains an unsupported format\r\nPlease select a different Record to "
    "Export";
inline constexpr char kNoContentsText[] =
    "Sorry...this OLE object does not have a CONTENTS Stream\r\nPlease select a different Record "
    "to Export";
inline constexpr char kSource[] = "modGetContentsStream.fGetContentsStream";

}  // namespace pictrova::ole::testing
