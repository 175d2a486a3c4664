// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Page 0 of a Jet (.mdb) or ACE (.accdb) file: what the layer needs before handing the file to
// libmdb. Layout (little-endian; `*` = inside the region masked with the RC4 keystream of
// C7 DA 39 6B, 126 bytes long in Jet3 files and 128 bytes in later ones):
//
//   0x00  1   page type, 0
//   0x04  16  "Standard Jet DB\0" or "Standard ACE DB\0"
//   0x14  1   version: 0 Jet3, 1 Jet4, 2..6 ACE (Access 2007..2019)
//   0x18      start of the masked region
//   0x3E* 4   database key: 0 unless pages are encoded (Jet) or encrypted (ACE)
//   0x42* 20  Jet3 password: 8-bit characters, zero-padded
//   0x42* 40  Jet4 password: UTF-16LE, zero-padded, further XORed with the low 32 bits of the
//             whole days of the creation date, repeated
//   0x72* 8   creation date: double, days since 1899-12-30
//
// An ACE file with a non-zero database key is Office-encrypted: its password protects the page
// contents, not this field.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/byte_reader.h"

namespace pictrova::database {

struct JetHeader {
    int version = 0;
    std::size_t pageSize = 0;  // 2048 for Jet3, 4096 otherwise
    std::uint32_t databaseKey = 0;
    double creationDate = 0;
    // The stored database password (Jet3/Jet4), UTF-8; empty when the file has none.
    std::string password;

    bool IsOfficeEncrypted() const { return version >= 2 && databaseKey != 0; }
    bool HasStoredPassword() const { return version <= 1 && !password.empty(); }
};

inline constexpr int kJet3 = 0;
inline constexpr int kJet4 = 1;
inline constexpr int kNewestAceVersion = 6;

// Bytes of page 0 the header needs: through the end of the masked region.
inline constexpr std::size_t kJetHeaderBytes = 0x18 + 128;

// Reads the header from the first bytes of a file (at least kJetHeaderBytes). Throws FormatError
// when the bytes are not a Jet or ACE header.
JetHeader ReadJetHeader(std::span<const std::uint8_t> page0);

// True when `password` (UTF-8, as typed) opens a file with this header: always when the file
// stores none; otherwise only the same characters, case included.
bool PasswordMatches(const JetHeader& header, const std::string& password);

// UTF-16LE text up to the first zero unit (or the end) as UTF-8; unpaired surrogates become
// U+FFFD, which no typed password contains.
std::string Utf16ToUtf8(ByteReader units);

// 8-bit Windows-1252 text (a Jet3 string, an OLE package's label) as UTF-8; the five unassigned
// bytes become U+FFFD.
std::string Cp1252ToUtf8(std::string_view text);

}  // namespace pictrova::database
