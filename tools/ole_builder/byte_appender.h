// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Appends little-endian values to a growing byte vector; the builders' one way to lay out bytes.

#include <cstdint>
#include <string_view>
#include <vector>

namespace pictrova::fixtures {

class ByteAppender {
  public:
    explicit ByteAppender(std::vector<std::uint8_t>& out) : out_(out) {}

    void u8(std::uint8_t v) { out_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void i16(std::int16_t v) { u16(static_cast<std::uint16_t>(v)); }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void bytes(const std::vector<std::uint8_t>& v) { out_.insert(out_.end(), v.begin(), v.end()); }
    void text(std::string_view s) { out_.insert(out_.end(), s.begin(), s.end()); }
    // The text and its terminating zero byte.
    void zeroTerminated(std::string_view s) {
        text(s);
        u8(0);
    }
    void zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    std::size_t size() const { return out_.size(); }

    // Overwrites a 32-bit value written earlier (a size known only at the end).
    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

  private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace pictrova::fixtures
