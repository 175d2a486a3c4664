// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Office password encryption for the .accdb files our writer produces, the inverse of what
// the program's data layer undoes (src/database/decrypt.h). Tests and benchmarks use it
// to make encrypted twins of plain files, so no third-party file is needed.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/accdb/encryption_header.h"

namespace pictrova::jet {

using database::AccdbEncryption;
using database::HashAlgorithm;

struct AccdbEncryptionSettings {
    AccdbEncryption kind = AccdbEncryption::Agile;
    // RC4: 40..128 in steps of 8; AES kinds: 128, 192 or 256 (Agile: both the data key and the
    // password key encryptor).
    std::uint32_t keyBits = 256;
    HashAlgorithm agileHash = HashAlgorithm::Sha512;  // Agile only
    std::uint32_t spinCount = 100'000;                // Agile only
    // The database key stored in page 0; 0 draws a non-zero one at random.
    std::uint32_t databaseKey = 0;
};

// Builds a description of the given kind for the password, with fresh random salts, verifier
// and (Agile) data key.
database::EncryptionDescription MakeEncryptionDescription(const AccdbEncryptionSettings& settings,
                                                          std::string_view password);

// The bytes stored at 0x29B of page 0.
std::vector<std::uint8_t> SerializeEncryptionDescription(
    const database::EncryptionDescription& description);

// Encrypts a plain ACE image (whole 4096-byte pages, database key 0) with the password.
std::vector<std::uint8_t> EncryptAccdbImage(std::span<const std::uint8_t> plainImage,
                                            const AccdbEncryptionSettings& settings,
                                            std::string_view password);

}  // namespace pictrova::jet
