// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one bounds-checked reader for untrusted bytes (field values, compound-document streams,
// metafiles, database pages). Every read checks `n > remaining()`, a form that cannot overflow,
// and throws FormatError with the absolute offset of the failed read. Parsers never index raw
// arrays with offsets computed from data; they seek, skip and read through this.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/error.h"

namespace pictrova {

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::uint64_t baseOffset = 0)
        : data_(data), base_(baseOffset) {}

    std::size_t size() const noexcept { return data_.size(); }
    std::size_t position() const noexcept { return pos_; }
    std::size_t remaining() const noexcept { return data_.size() - pos_; }
    bool atEnd() const noexcept { return pos_ == data_.size(); }

    // Moves to an absolute position within this reader's bytes (the end is allowed).
    void seek(std::size_t pos) {
        need(pos <= data_.size(), "seek past end", pos);
        pos_ = pos;
    }
    void skip(std::size_t n) {
        ensure(n);
        pos_ += n;
    }

    std::uint8_t u8() {
        ensure(1);
        return data_[pos_++];
    }
    std::uint16_t u16le() {
        ensure(2);
        std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
    std::uint32_t u32le() {
        ensure(4);
        std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                          static_cast<std::uint32_t>(data_[pos_ + 1]) << 8 |
                          static_cast<std::uint32_t>(data_[pos_ + 2]) << 16 |
                          static_cast<std::uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }
    std::uint64_t u64le() {
        std::uint64_t lo = u32le();
        std::uint64_t hi = u32le();
        return lo | hi << 32;
    }

    // The next n bytes, without copying.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        ensure(n);
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }

    // A reader over the next n bytes; offsets it reports stay absolute.
    ByteReader sub(std::size_t n) {
        ensure(n);
        ByteReader r(data_.subspan(pos_, n), base_ + pos_);
        pos_ += n;
        return r;
    }

    // Bytes up to the next zero byte; the zero is consumed and not returned.
    std::string zeroTerminated() {
        std::size_t start = pos_;
        while (true) {
            ensure(1);
            if (data_[pos_++] == 0)
                break;
        }
        return std::string(reinterpret_cast<const char*>(data_.data() + start), pos_ - 1 - start);
    }

  private:
    void ensure(std::size_t n) const { need(n <= remaining(), "read past end of data", pos_); }
    void need(bool ok, const char* what, std::size_t at) const {
        if (!ok)
            throw FormatError(what, base_ + at);
    }

    std::span<const std::uint8_t> data_;
    std::uint64_t base_;
    std::size_t pos_ = 0;
};

// Little-endian stores into a byte buffer the caller owns, bounds-checked the same way.
class ByteWriter {
  public:
    explicit ByteWriter(std::span<std::uint8_t> data) : data_(data) {}

    std::size_t position() const noexcept { return pos_; }
    void seek(std::size_t pos) {
        if (pos > data_.size())
            throw FormatError("seek past end", pos);
        pos_ = pos;
    }
    void u8(std::uint8_t v) {
        ensure(1);
        data_[pos_++] = v;
    }
    void u16le(std::uint16_t v) {
        ensure(2);
        data_[pos_++] = static_cast<std::uint8_t>(v);
        data_[pos_++] = static_cast<std::uint8_t>(v >> 8);
    }
    void u32le(std::uint32_t v) {
        ensure(4);
        for (int i = 0; i < 4; ++i)
            data_[pos_++] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void i32le(std::int32_t v) { u32le(static_cast<std::uint32_t>(v)); }
    void bytes(std::span<const std::uint8_t> src) {
        ensure(src.size());
        std::copy(src.begin(), src.end(), data_.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += src.size();
    }

  private:
    void ensure(std::size_t n) const {
        if (n > data_.size() - pos_)
            throw FormatError("write past end of buffer", pos_);
    }

    std::span<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

}  // namespace pictrova
