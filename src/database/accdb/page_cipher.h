// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The password check and the per-page ciphers of encrypted .accdb files.
//
//   RC4 CryptoAPI   fresh RC4 state per page, key from the block key b(page)
//   CryptoAPI AES   AES-ECB per page, key from b(page) (standard AES: same, after 50 000 rounds)
//   Agile           AES-CBC with one data key, IV from b(page)
//
// The password is checked against the verifier in the description before a cipher exists, so
// no page is ever decrypted with a wrong key.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "database/accdb/crypto.h"
#include "database/accdb/encryption_header.h"

namespace pictrova::database {

class PageCipher {
  public:
    virtual ~PageCipher() = default;
    // Decrypts (or, for the fixture writer, encrypts) one whole page in place.
    virtual void Transform(std::uint32_t page, std::span<std::uint8_t> data) = 0;
};

// Checks the password and returns the cipher for the pages; a wrong or empty password fails
// with "Not a valid password." (number 3031).
std::unique_ptr<PageCipher> UnlockPageCipher(const EncryptionDescription& description,
                                             const DatabaseKey& databaseKey,
                                             std::string_view password,
                                             CipherDirection direction = CipherDirection::Decrypt);

}  // namespace pictrova::database
