// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/jet_header.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "common/byte_reader.h"
#include "database/accdb/rc4.h"

namespace pictrova::database {
namespace {

constexpr std::size_t kSignatureOffset = 0x04;
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::size_t kMaskedOffset = 0x18;
constexpr std::size_t kJet3MaskedBytes = 126;
constexpr std::size_t kMaskedBytes = 128;
constexpr std::size_t kDatabaseKeyOffset = 0x3E;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kJet3PasswordBytes = 20;
constexpr std::size_t kJet4PasswordBytes = 40;
constexpr std::size_t kCreationDateOffset = 0x72;
constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";

// Windows-1252, the code page Jet3 files store 8-bit text in; the five unassigned bytes map to
// U+FFFD.
char32_t FromCp1252(std::uint8_t b) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (b >= 0x80 && b < 0xA0)
        return kHigh[b - 0x80];
    return b;
}

// The whole days of the creation date as the 32-bit mask Jet4 XORs the password with. A date
// outside the 32-bit range (a damaged header) gives no mask rather than undefined conversion.
std::uint32_t PasswordMask(double creationDate) {
    if (!std::isfinite(creationDate))
        return 0;
    double days = std::floor(creationDate);
    if (days < std::numeric_limits<std::int32_t>::min() ||
        days > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(days));
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        AppendUtf8(out, FromCp1252(static_cast<std::uint8_t>(c)));
    return out;
}

std::string Utf16ToUtf8(ByteReader units) {
    std::string out;
    while (units.remaining() >= 2) {
        char32_t c = units.u16le();
        if (c == 0)
            break;
        if (c >= 0xD800 && c < 0xDC00 && units.remaining() >= 2) {
            std::size_t at = units.position();
            char32_t low = units.u16le();
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            } else {
                units.seek(at);
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

JetHeader ReadJetHeader(std::span<const std::uint8_t> page0) {
    ByteReader reader(page0);
    Enforce(reader.u8() == 0, "not a database header page", 0);

    reader.seek(kSignatureOffset);
    auto signature = reader.bytes(sizeof(kJetSignature));
    bool jetSignature = std::memcmp(signature.data(), kJetSignature, sizeof(kJetSignature)) == 0;
    bool aceSignature = std::memcmp(signature.data(), kAceSignature, sizeof(kAceSignature)) == 0;
    Enforce(jetSignature || aceSignature, "unknown database signature", kSignatureOffset);

    JetHeader header;
    reader.seek(kVersionOffset);
    header.version = reader.u8();
    Enforce(header.version <= kNewestAceVersion, "unknown database version", kVersionOffset);
    header.pageSize = header.version == kJet3 ? 2048 : 4096;

    std::size_t maskedBytes = header.version == kJet3 ? kJet3MaskedBytes : kMaskedBytes;
    reader.seek(kMaskedOffset);
    auto masked = reader.bytes(maskedBytes);
    std::vector<std::uint8_t> plain(kMaskedOffset, 0);
    plain.insert(plain.end(), masked.begin(), masked.end());
    Rc4(kJetHeaderMaskKey).Apply(std::span(plain).subspan(kMaskedOffset));

    ByteReader unmasked(plain);
    unmasked.seek(kDatabaseKeyOffset);
    header.databaseKey = unmasked.u32le();

    if (header.version == kJet3) {
        unmasked.seek(kPasswordOffset);
        auto stored = unmasked.bytes(kJet3PasswordBytes);
        for (std::uint8_t b : stored) {
            if (b == 0)
                break;
            AppendUtf8(header.password, FromCp1252(b));
        }
        return header;
    }

    unmasked.seek(kCreationDateOffset);
    std::uint64_t dateBits = unmasked.u64le();
    std::memcpy(&header.creationDate, &dateBits, sizeof(double));

    if (header.version == kJet4) {
        std::uint32_t mask = PasswordMask(header.creationDate);
        unmasked.seek(kPasswordOffset);
        auto stored = unmasked.bytes(kJet4PasswordBytes);
        std::array<std::uint8_t, kJet4PasswordBytes> password;
        for (std::size_t i = 0; i < password.size(); ++i)
            password[i] = stored[i] ^ static_cast<std::uint8_t>(mask >> (8 * (i % 4)));
        header.password = Utf16ToUtf8(ByteReader(password));
    }
    return header;
}

bool PasswordMatches(const JetHeader& header, const std::string& password) {
    return !header.HasStoredPassword() || password == header.password;
}

}  // namespace pictrova::database
