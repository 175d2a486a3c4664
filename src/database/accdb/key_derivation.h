// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keys of encrypted .accdb files, derived from the password. Shared by the reader and by the
// fixture writer that encrypts test databases, so both sides use one derivation.
//
//   password hash   Hn = H(salt + pwd); then n times Hn = H(LE32(i) + Hn)
//                   (RC4 CryptoAPI and CryptoAPI AES: n = 0; standard AES: 50 000; Agile:
//                   spinCount)
//   block key       b(page) = database key XOR LE32(page); the password verifier uses b = 0
//   RC4 CryptoAPI   k = SHA1(Hn + b)[0 : keyBits/8], zero-padded to 16 bytes for 40-bit keys
//   CryptoAPI AES   F = SHA1(Hn + b); k = (SHA1(0x36^64 XOR F) + SHA1(0x5C^64 XOR F))[0 :
//   keyBits/8] Agile           K(c) = fix(H(Hn + c), keyBits/8, 0x36) for the three block constants
//   below;
//                   page IV = fix(H(keyData salt + b(page)), blockSize, 0x36)

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "database/accdb/crypto.h"
#include "database/accdb/encryption_header.h"

namespace pictrova::database {

inline constexpr std::uint32_t kStandardAesIterations = 50'000;
inline constexpr std::size_t kMaxPasswordUnits = 255;

// A password that cannot be turned into key bytes, or whose key does not verify: throws
// ErrorCode::NotAValidPassword.
[[noreturn]] void NotAValidPassword();

using AgileBlock = std::array<std::uint8_t, 8>;
inline constexpr AgileBlock kAgileVerifierInputBlock = {0xfe, 0xa7, 0xd2, 0x76,
                                                        0x3b, 0x4b, 0x9e, 0x79};
inline constexpr AgileBlock kAgileVerifierHashBlock = {0xd7, 0xaa, 0x0f, 0x6d,
                                                       0x30, 0x61, 0x34, 0x4e};
inline constexpr AgileBlock kAgileKeyValueBlock = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};

// The password as UTF-16LE without terminator, cut to 255 units. Invalid UTF-8 cannot be a
// password and fails as one.
SecretBytes PasswordBytes(std::string_view utf8);

DatabaseKey BlockKey(const DatabaseKey& databaseKey, std::uint32_t page) noexcept;

SecretBytes PasswordHash(Digest& digest, std::span<const std::uint8_t> salt,
                         std::span<const std::uint8_t> password, std::uint32_t iterations);

SecretBytes CryptoApiRc4Key(Digest& sha1, std::span<const std::uint8_t> passwordHash,
                            const DatabaseKey& block, std::uint32_t keyBits);
SecretBytes CryptoApiAesKey(Digest& sha1, std::span<const std::uint8_t> passwordHash,
                            const DatabaseKey& block, std::uint32_t keyBits);

SecretBytes AgileKey(Digest& digest, std::span<const std::uint8_t> passwordHash,
                     const AgileBlock& block, std::uint32_t keyBits);
// The IV of one Agile page (or of the key encryptor when block is empty).
SecretBytes AgileIv(Digest& digest, std::span<const std::uint8_t> salt,
                    std::span<const std::uint8_t> block, std::size_t blockSize);

// x cut to n bytes, or padded to n bytes with pad.
SecretBytes FixLength(std::span<const std::uint8_t> x, std::size_t n, std::uint8_t pad);

}  // namespace pictrova::database
