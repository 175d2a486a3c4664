// SPDX-License-Identifier: GPL-3.0-or-later
// Paint pictures: the native BMP file, cut or zero-padded to the size its header gives.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

// "Paint.Picture" with object name "Paint.Picture": header size 48, the BMP file at 79.
constexpr std::size_t kBmpAt = 79;

TEST(PaintPicture, NativeBmpFileIsTheOutput) {
    const auto bmp = fx::MakeBmpFile(7, 3, 8);
    const auto field = fx::BuildPaintPicture(bmp);
    ASSERT_EQ(field[kBmpAt], 'B');
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "bmp");
    EXPECT_EQ(d.payload, bmp);
}

TEST(PaintPicture, TrailingDataIsCutToTheFileSize) {
    const auto bmp = fx::MakeBmpFile(4, 4);
    auto field = fx::BuildPaintPicture(bmp);
    field.insert(field.end(), 40, 0xEE);  // a presentation after the native data
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.payload, bmp);
}

TEST(PaintPicture, ShortFileIsPaddedWithZeros) {
    const auto bmp = fx::MakeBmpFile(4, 4);
    auto field = fx::BuildPaintPicture(bmp);
    Put32(field, kBmpAt + 2, static_cast<std::int64_t>(bmp.size()) + 10);
    const Decoded d = DecodeField(field);
    ASSERT_TRUE(d.ok());
    ASSERT_EQ(d.payload.size(), bmp.size() + 10);
    EXPECT_TRUE(std::equal(bmp.begin() + 6, bmp.end(), d.payload.begin() + 6));
    EXPECT_EQ(d.payload.back(), 0);
    EXPECT_EQ(std::count(d.payload.end() - 10, d.payload.end(), 0), 10);
}

// The "BM" signature is not tested.
TEST(PaintPicture, SignatureIsNotChecked) {
    auto field = fx::BuildPaintPicture(fx::MakeBmpFile(2, 2));
    field[kBmpAt] = 'X';
    EXPECT_TRUE(DecodeField(field).ok());
}

// A file size field claiming far more than the field holds is damage, not an allocation.
TEST(PaintPicture, ImplausibleFileSizesAreFalse) {
    const auto bmp = fx::MakeBmpFile(4, 4);
    for (std::int64_t size : {std::int64_t{0}, std::int64_t{-5}, std::int64_t{0x7FFFFFFF},
                              static_cast<std::int64_t>(3 * bmp.size())}) {
        auto field = fx::BuildPaintPicture(bmp);
        Put32(field, kBmpAt + 2, size);
        EXPECT_FALSE(DecodeField(field).ok()) << size;
    }
}

TEST(PaintPicture, FieldEndingBeforeTheFileSizeIsFalse) {
    auto field = fx::BuildPaintPicture(fx::MakeBmpFile(2, 2));
    field.resize(kBmpAt + 5);
    EXPECT_FALSE(DecodeField(field).ok());
}

}  // namespace
}  // namespace pictrova::ole
