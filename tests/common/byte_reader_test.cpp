// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "common/checked_math.h"

namespace pictrova {
namespace {

TEST(ByteReader, ReadsLittleEndianValues) {
    const std::vector<std::uint8_t> data = {0x15, 0x1C, 0xFE, 0xFF, 0x78, 0x56, 0x34, 0x12, 0xFF};
    ByteReader r(data);
    EXPECT_EQ(r.u16le(), 0x1C15);
    EXPECT_EQ(r.i16le(), -2);
    EXPECT_EQ(r.u32le(), 0x12345678u);
    EXPECT_EQ(r.remaining(), 1u);
    EXPECT_EQ(r.u8(), 0xFF);
    EXPECT_TRUE(r.atEnd());
}

TEST(ByteReader, ReadPastEndThrowsWithAbsoluteOffset) {
    const std::vector<std::uint8_t> data(10, 0);
    ByteReader outer(data, 100);
    outer.skip(4);
    ByteReader inner = outer.sub(4);
    inner.skip(2);
    try {
        inner.u32le();
        FAIL() << "expected FormatError";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.offset(), 106u);
    }
}

TEST(ByteReader, HugeCountsNeverWrapAround) {
    const std::vector<std::uint8_t> data(8, 0);
    ByteReader r(data);
    r.skip(3);
    EXPECT_THROW(r.skip(std::numeric_limits<std::size_t>::max()), FormatError);
    EXPECT_THROW(r.bytes(std::numeric_limits<std::size_t>::max() - 1), FormatError);
    EXPECT_THROW(r.seek(9), FormatError);
    EXPECT_EQ(r.position(), 3u);  // failed reads leave the position alone
}

TEST(ByteReader, ZeroTerminatedStopsAtZeroAndFailsWithoutOne) {
    const std::vector<std::uint8_t> data = {'D', 'I', 'B', 0, 'x', 'y'};
    ByteReader r(data);
    EXPECT_EQ(r.zeroTerminated(), "DIB");
    EXPECT_EQ(r.position(), 4u);
    EXPECT_THROW(r.zeroTerminated(), FormatError);
}

TEST(ByteWriter, RefusesToWritePastEnd) {
    std::vector<std::uint8_t> data(5, 0);
    ByteWriter w(data);
    w.u32le(0x04030201);
    EXPECT_THROW(w.u16le(1), FormatError);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3, 4, 0}));
}

TEST(CheckedMath, OverflowThrows) {
    EXPECT_EQ(CheckedAdd<std::int16_t>(30000, 2767), 32767);
    EXPECT_THROW(CheckedAdd<std::int16_t>(30000, 2768), Error);
    EXPECT_THROW(CheckedMul<std::uint32_t>(65536, 65536), Error);
    EXPECT_THROW(CheckedCast<std::size_t>(-1), Error);
    EXPECT_EQ(CheckedCast<std::uint32_t>(std::int64_t{4096}), 4096u);
    EXPECT_THROW(EnforcePlausibleSize(2'000'000'000, 100, "field"), Error);
}

}  // namespace
}  // namespace pictrova
