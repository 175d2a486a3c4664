// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Page 0 of an Access file and the encryption description it carries.
//
// Page 0 (all integers little-endian):
//   0x14       version: 0 Jet3 (2048-byte pages), 1 Jet4, 2..6 ACE (4096-byte pages)
//   0x18       128 bytes (Jet3: 126) masked with the RC4 keystream of C7 DA 39 6B
//   0x3E       (inside the mask) database key: 4 bytes, zero when pages are stored plain
//   0x299      u16 length of the encryption description (outside the mask)
//   0x29B      the encryption description
// Page 0 is never encrypted; every later page is, with a key or IV derived from the database
// key XOR the page number.
//
// The description starts with a version pair (u16 major, u16 minor) and a u32 flags word:
//   2.2 / 3.2 / 4.2   CryptoAPI: RC4, or AES with or without the 50 000 hash rounds (below)
//   4.4               Agile: an XML descriptor follows at offset 8 (accdb_agile_descriptor.cpp)
//   1.1, 3.3, 4.3     Office binary RC4 and extensible encryption: recognised, not supported
//
// CryptoAPI description (offsets from its start; S = header size, which varies: 118..140 seen):
//   8 S | 12 flags | 16 sizeExtra | 20 algID | 24 algIDHash | 28 keySize (bits)
//   32 providerType | 36 reserved (8) | 44 CSP name, UTF-16LE (S - 32 bytes)
//   12+S saltSize (16) | 16+S salt | 32+S encryptedVerifier (16) | 48+S verifierHashSize (20)
//   52+S encryptedVerifierHash (20 for RC4, 32 for AES)

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "database/accdb/crypto.h"

namespace pictrova::database {

inline constexpr std::size_t kVersionOffset = 0x14;
inline constexpr std::size_t kMaskOffset = 0x18;
inline constexpr std::size_t kDatabaseKeyOffset = 0x3E;
inline constexpr std::size_t kDescriptionLengthOffset = 0x299;
inline constexpr std::size_t kDescriptionOffset = 0x29B;
inline constexpr std::uint8_t kFirstAceVersion = 2;

using DatabaseKey = std::array<std::uint8_t, 4>;

std::size_t PageSizeForVersion(std::uint8_t version) noexcept;

// XORs the header mask over page 0's masked region: masks a plain header, unmasks a stored one.
void ApplyHeaderMask(std::span<std::uint8_t> headerPage);

struct HeaderPage {
    std::uint8_t version = 0;
    std::size_t pageSize = 0;
    DatabaseKey databaseKey{};                  // unmasked
    std::span<const std::uint8_t> description;  // empty when the file carries none
};

// Reads the facts above from the start of a file (at least one page of it).
HeaderPage ReadHeaderPage(std::span<const std::uint8_t> file);

// Stores a database key (unmasked value) into a masked page 0.
void StoreDatabaseKey(std::span<std::uint8_t> headerPage, const DatabaseKey& key);

// An ACE file whose pages are encrypted with an Office password. (A non-zero key without a
// description is the old page encoding, which libmdb undoes itself.)
bool IsOfficeEncrypted(const HeaderPage& header) noexcept;

enum class AccdbEncryption { Rc4CryptoApi, CryptoApiAes, StandardAes, Agile };

std::string_view EncryptionName(AccdbEncryption kind) noexcept;

inline constexpr std::uint32_t kFlagCryptoApi = 0x04;
inline constexpr std::uint32_t kFlagExternal = 0x10;
inline constexpr std::uint32_t kFlagAes = 0x20;
inline constexpr std::uint32_t kAgileFlags = 0x40;
inline constexpr std::uint32_t kAlgRc4 = 0x6801;
inline constexpr std::uint32_t kAlgAes128 = 0x660E;
inline constexpr std::uint32_t kAlgAes192 = 0x660F;
inline constexpr std::uint32_t kAlgAes256 = 0x6610;
inline constexpr std::uint32_t kAlgSha1 = 0x8004;
inline constexpr std::size_t kCryptoApiSaltSize = 16;
inline constexpr std::size_t kSha1Size = 20;

struct CryptoApiDescription {
    AccdbEncryption kind = AccdbEncryption::Rc4CryptoApi;
    std::uint16_t versionMajor = 4;
    std::uint16_t versionMinor = 2;
    std::uint32_t flags = 0;
    std::uint32_t algId = 0;
    std::uint32_t algIdHash = 0;
    std::uint32_t keyBits = 0;  // after the defaults for a stored 0
    std::uint32_t providerType = 0;
    std::u16string cspName;
    std::array<std::uint8_t, kCryptoApiSaltSize> salt{};
    std::array<std::uint8_t, 16> encryptedVerifier{};
    std::uint32_t verifierHashSize = kSha1Size;
    std::vector<std::uint8_t> encryptedVerifierHash;  // 20 bytes for RC4, 32 for AES
};

struct AgileKeyParameters {
    std::vector<std::uint8_t> salt;
    std::uint32_t blockSize = 16;
    std::uint32_t keyBits = 0;
    std::uint32_t hashSize = 0;
    HashAlgorithm hash = HashAlgorithm::Sha1;
};

inline constexpr std::uint32_t kMaxSpinCount = 10'000'000;

struct AgileDescription {
    AgileKeyParameters keyData;      // the data key and the per-page IVs
    AgileKeyParameters passwordKey;  // the password key encryptor
    std::uint32_t spinCount = 0;
    std::vector<std::uint8_t> encryptedVerifierHashInput;
    std::vector<std::uint8_t> encryptedVerifierHashValue;
    std::vector<std::uint8_t> encryptedKeyValue;
};

using EncryptionDescription = std::variant<CryptoApiDescription, AgileDescription>;

AccdbEncryption KindOf(const EncryptionDescription& description) noexcept;

// Parses and checks a description. A damaged one fails with an Error that says so and where;
// a recognised kind we cannot open fails with an Error that names it.
EncryptionDescription ParseEncryptionDescription(std::span<const std::uint8_t> description);

// The XML descriptor of Agile encryption (accdb_agile_descriptor.cpp).
AgileDescription ParseAgileDescriptor(std::string_view xml);

// Digest sizes and the names the XML descriptor uses for them.
std::size_t HashSize(HashAlgorithm algorithm) noexcept;
std::string_view HashName(HashAlgorithm algorithm) noexcept;

}  // namespace pictrova::database
