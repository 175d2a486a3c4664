// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictrova::testing {

// Deterministic bytes that differ by position and seed (a shifted or cut copy never matches).
inline std::vector<std::uint8_t> Pattern(std::size_t size, std::size_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = static_cast<std::uint32_t>(seed) * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

}  // namespace pictrova::testing
