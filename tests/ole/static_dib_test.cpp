// SPDX-License-Identifier: GPL-3.0-or-later
// Static DIB pictures: the packed DIB gets a BMP file header whose pixel offset counts the
// colour table.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

// In a static field built with names "Pic"/"Pic", "DIB\0" sits at 40 and the data size at 52.
constexpr std::size_t kDataSizeAt = 52;
constexpr std::size_t kDataAt = 56;

struct DibCase {
    int bits;
    std::uint32_t coloursUsed;
    std::uint32_t pixelOffset;
};

class StaticDib : public ::testing::TestWithParam<DibCase> {};

TEST_P(StaticDib, FileHeaderPointsAtThePixels) {
    const DibCase c = GetParam();
    const auto dib = fx::MakePackedDib(6, 3, c.bits, c.coloursUsed);
    const Decoded d = DecodeField(fx::BuildStaticDib(dib));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "bmp");
    ASSERT_EQ(d.payload.size(), dib.size() + 14);
    EXPECT_EQ(d.payload[0], 'B');
    EXPECT_EQ(d.payload[1], 'M');
    EXPECT_EQ(Get32(d.payload, 2), dib.size() + 14);
    EXPECT_EQ(Get32(d.payload, 6), 0u);
    EXPECT_EQ(Get32(d.payload, 10), c.pixelOffset);
    EXPECT_TRUE(std::equal(dib.begin(), dib.end(), d.payload.begin() + 14));
}

INSTANTIATE_TEST_SUITE_P(
    BitCounts, StaticDib,
    ::testing::Values(DibCase{8, 255, 1074}, DibCase{8, 0, 1078}, DibCase{8, 256, 1078},
                      DibCase{24, 0, 54}, DibCase{4, 0, 118}, DibCase{16, 0, 54},
                      DibCase{32, 0, 54},
                      // Colour tables shorter than the full 2^bits entries.
                      DibCase{1, 0, 62}, DibCase{4, 5, 74}, DibCase{8, 17, 122},
                      // A colours-used count above 2^bits is damage: the full table.
                      DibCase{8, 100000, 1078}));

// The data size is checked against the field length - 1; beyond that, against the bytes that
// are really there (a size the field cannot hold would read past its end).
TEST(StaticDibSize, SizeBoundaries) {
    const auto dib = fx::MakePackedDib(3, 2, 24);
    const auto field = fx::BuildStaticDib(dib);
    ASSERT_EQ(Get32(field, kDataSizeAt), dib.size());
    ASSERT_EQ(field.size(), kDataAt + dib.size());

    auto withSize = [&](std::int64_t size) {
        auto f = field;
        Put32(f, kDataSizeAt, size);
        return DecodeField(f);
    };
    EXPECT_TRUE(
        withSize(static_cast<std::int64_t>(dib.size()) - 1).ok());  // a shorter DIB is taken as is
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(dib.size()) + 1).ok());
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size()) - 1).ok());
    EXPECT_FALSE(withSize(static_cast<std::int64_t>(field.size())).ok());
    EXPECT_FALSE(withSize(-1).ok());
    EXPECT_FALSE(withSize(0x7FFFFFFF).ok());
    EXPECT_FALSE(withSize(0).ok());  // no info header to read
}

// With data after the DIB (a presentation, say) the size test passes at field length - 1.
TEST(StaticDibSize, DataSizeOfFieldLengthMinusOnePassesTheSizeTest) {
    const auto dib = fx::MakePackedDib(3, 2, 24);
    auto field = fx::BuildStaticDib(dib);
    const std::size_t size = field.size() - 1;
    field.resize(kDataAt + size, 0x77);
    Put32(field, kDataSizeAt, static_cast<std::int64_t>(size));
    // The field now holds kDataAt + size bytes, so size is below length - 1 and the copy fits.
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload.size(), size + 14);
}

TEST(StaticDibSize, FormatNameWithoutTerminatorIsFalse) {
    auto field = fx::BuildStaticDib(fx::MakePackedDib(1, 1, 24));
    field.resize(43);  // "DIB" and nothing after
    EXPECT_FALSE(DecodeField(field).ok());
}

}  // namespace
}  // namespace pictrova::ole
