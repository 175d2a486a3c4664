// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/key_derivation.h"

#include <algorithm>

#include "common/error.h"
#include "common/error_codes.h"

namespace pictrova::database {

void NotAValidPassword() {
    Throw(ErrorCode::NotAValidPassword);
}

SecretBytes PasswordBytes(std::string_view utf8) {
    SecretBytes out;
    out.reserve(std::min(utf8.size(), kMaxPasswordUnits) * 2 + 2);
    auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    std::size_t k = 0;
    while (k < utf8.size() && out.size() < kMaxPasswordUnits * 2) {
        const auto lead = static_cast<std::uint8_t>(utf8[k]);
        const std::size_t extra = lead < 0x80   ? 0
                                  : lead < 0xC2 ? 4
                                  : lead < 0xE0 ? 1
                                  : lead < 0xF0 ? 2
                                  : lead < 0xF5 ? 3
                                                : 4;  // 4: not a lead byte
        if (extra == 4 || extra > utf8.size() - k - 1)
            NotAValidPassword();
        std::uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (std::size_t n = 1; n <= extra; ++n) {
            const auto cont = static_cast<std::uint8_t>(utf8[k + n]);
            if ((cont & 0xC0) != 0x80)
                NotAValidPassword();
            cp = cp << 6 | (cont & 0x3F);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            NotAValidPassword();
        k += extra + 1;
        if (cp < 0x10000) {
            put(cp);
        } else {
            put(0xD800 + ((cp - 0x10000) >> 10));
            if (out.size() < kMaxPasswordUnits * 2)
                put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

DatabaseKey BlockKey(const DatabaseKey& databaseKey, std::uint32_t page) noexcept {
    DatabaseKey b;
    for (std::size_t k = 0; k < b.size(); ++k)
        b[k] = databaseKey[k] ^ static_cast<std::uint8_t>(page >> (8 * k));
    return b;
}

SecretBytes PasswordHash(Digest& digest, std::span<const std::uint8_t> salt,
                         std::span<const std::uint8_t> password, std::uint32_t iterations) {
    SecretBytes h = digest.Hash(salt, password);
    for (std::uint32_t i = 0; i < iterations; ++i) {
        const std::uint8_t counter[4] = {
            static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
            static_cast<std::uint8_t>(i >> 16), static_cast<std::uint8_t>(i >> 24)};
        digest.Begin();
        digest.Add(counter);
        digest.Add(h);
        digest.Finish(h);
    }
    return h;
}

SecretBytes CryptoApiRc4Key(Digest& sha1, std::span<const std::uint8_t> passwordHash,
                            const DatabaseKey& block, std::uint32_t keyBits) {
    SecretBytes h = sha1.Hash(passwordHash, block);
    h.resize(keyBits / 8);
    // 40-bit keys are used as 128-bit keys whose last 11 bytes are zero.
    if (keyBits == 40)
        h.resize(16, 0);
    return h;
}

SecretBytes CryptoApiAesKey(Digest& sha1, std::span<const std::uint8_t> passwordHash,
                            const DatabaseKey& block, std::uint32_t keyBits) {
    const SecretBytes f = sha1.Hash(passwordHash, block);
    SecretBytes inner(64, 0x36), outer(64, 0x5C);
    for (std::size_t k = 0; k < f.size(); ++k) {
        inner[k] ^= f[k];
        outer[k] ^= f[k];
    }
    SecretBytes key = sha1.Hash(inner);
    const SecretBytes x2 = sha1.Hash(outer);
    key.insert(key.end(), x2.begin(), x2.end());
    key.resize(keyBits / 8);
    return key;
}

SecretBytes AgileKey(Digest& digest, std::span<const std::uint8_t> passwordHash,
                     const AgileBlock& block, std::uint32_t keyBits) {
    return FixLength(digest.Hash(passwordHash, block), keyBits / 8, 0x36);
}

SecretBytes AgileIv(Digest& digest, std::span<const std::uint8_t> salt,
                    std::span<const std::uint8_t> block, std::size_t blockSize) {
    if (block.empty())
        return FixLength(salt, blockSize, 0x36);
    return FixLength(digest.Hash(salt, block), blockSize, 0x36);
}

SecretBytes FixLength(std::span<const std::uint8_t> x, std::size_t n, std::uint8_t pad) {
    SecretBytes out(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(std::min(n, x.size())));
    out.resize(n, pad);
    return out;
}

}  // namespace pictrova::database
