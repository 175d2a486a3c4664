// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/rc4.h"

#include <array>
#include <utility>

namespace pictrova::database {

void Rc4Apply(std::span<const std::uint8_t> key, std::span<std::uint8_t> data) {
    if (key.empty()) return;
    std::array<std::uint8_t, 256> s;
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + key[i % key.size()]);
        std::swap(s[i], s[j]);
    }
    std::uint8_t i = 0;
    j = 0;
    for (auto& byte : data) {
        ++i;
        j = static_cast<std::uint8_t>(j + s[i]);
        std::swap(s[i], s[j]);
        byte ^= s[static_cast<std::uint8_t>(s[i] + s[j])];
    }
}

}  // namespace pictrova::database
