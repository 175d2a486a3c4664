// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Text as Jet4/ACE stores it: UCS-2 little-endian, or "compressed" (FF FE, then one byte per
// character U+0001..U+00FF). A 00 byte in the compressed form switches between one and two
// bytes per character, so we only compress text without such characters, and only when it is
// shorter.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pictrova::jet {

// Throws pictrova::Error on malformed UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8);

std::vector<std::uint8_t> Ucs2Bytes(std::u16string_view text);

// The stored form of a Text or Memo value. Readers decompress anything that begins with FF FE,
// so an uncompressed value that starts with U+FEFF cannot be stored (throws pictrova::Error).
std::vector<std::uint8_t> EncodeStoredText(std::string_view utf8, bool mayCompress);

}  // namespace pictrova::jet
