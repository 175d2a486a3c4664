// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// RC4, the one copy for the reader and the fixture writer. Jet masks the file header with it and
// encodes old-style encoded pages with it; RC4 CryptoAPI encryption keys a fresh stream per page.
// OpenSSL 3 keeps RC4 in its legacy provider, so the few lines live here.

#include <array>
#include <cstdint>
#include <span>

namespace pictrova::database {

// The key whose keystream masks the file header from offset 0x18 (Jet and ACE alike).
inline constexpr std::array<std::uint8_t, 4> kJetHeaderMaskKey = {0xC7, 0xDA, 0x39, 0x6B};

class Rc4 {
  public:
    explicit Rc4(std::span<const std::uint8_t> key);
    ~Rc4();
    Rc4(const Rc4&) = delete;
    Rc4& operator=(const Rc4&) = delete;

    // XORs the next keystream bytes into data; successive calls continue one stream.
    void Apply(std::span<std::uint8_t> data) noexcept;

  private:
    std::uint8_t state_[256];
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

}  // namespace pictrova::database
