// SPDX-License-Identifier: GPL-3.0-or-later
// Static metafile pictures: rendered through cDIBSection into a 24-bit BMP file.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/byte_reader.h"
#include "ole/ole_object_decoder.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using fixtures::Rgb;

struct Bmp {
    std::uint32_t fileSize, pixelOffset, infoSize, imageSize;
    std::int32_t width, height;
    std::uint16_t planes, bitCount;
};

Bmp ReadBmpHeaders(const std::vector<std::uint8_t>& file) {
    ByteReader r(file);
    EXPECT_EQ(r.u8(), 'B');
    EXPECT_EQ(r.u8(), 'M');
    Bmp b{};
    b.fileSize = r.u32le();
    EXPECT_EQ(r.u32le(), 0u);
    b.pixelOffset = r.u32le();
    b.infoSize = r.u32le();
    b.width = r.i32le();
    b.height = r.i32le();
    b.planes = r.u16le();
    b.bitCount = r.u16le();
    EXPECT_EQ(r.u32le(), 0u);
    b.imageSize = r.u32le();
    return b;
}

// The pixel at (x, y), y counted from the top, of a 24-bit bottom-up BMP file.
Rgb PixelAt(const std::vector<std::uint8_t>& file, const Bmp& bmp, int x, int y) {
    const std::size_t stride = (static_cast<std::size_t>(bmp.width) * 3 + 3) & ~std::size_t{3};
    const std::size_t at =
        bmp.pixelOffset + static_cast<std::size_t>(bmp.height - 1 - y) * stride + 3 * x;
    return {file.at(at + 2), file.at(at + 1), file.at(at)};
}

bool Near(Rgb a, Rgb b) {
    return std::abs(a.red - b.red) < 40 && std::abs(a.green - b.green) < 40 &&
           std::abs(a.blue - b.blue) < 40;
}

std::vector<std::uint8_t> Decode(std::vector<std::uint8_t> field, bool expectOk = true) {
    DecodeResult d = DecodeOleObject(std::move(field));
    EXPECT_EQ(d.ok(), expectOk);
    if (expectOk) {
        EXPECT_EQ(d.kind, ObjectKind::Bmp);
    }
    return std::move(d.payload);
}

// A 200 x 100 unit drawing framed as 2540 x 1270 HIMETRIC (1 x 0.5 inch): 96 x 48 pixels at
// 96 dpi, 0.48 pixel per unit.
TEST(StaticMetafile, RendersAt96DpiWithBmpHeaders) {
    const auto file =
        Decode(fixtures::BuildStaticMetafile(fixtures::MakeMetafile(200, 100), 8, 2540, 1270));
    const Bmp bmp = ReadBmpHeaders(file);
    EXPECT_EQ(bmp.width, 96);
    EXPECT_EQ(bmp.height, 48);
    EXPECT_EQ(bmp.infoSize, 40u);
    EXPECT_EQ(bmp.planes, 1);
    EXPECT_EQ(bmp.bitCount, 24);
    EXPECT_EQ(bmp.pixelOffset, 54u);
    EXPECT_EQ(bmp.imageSize, 96u * 3 * 48);
    EXPECT_EQ(bmp.fileSize, 54 + bmp.imageSize);
    EXPECT_EQ(file.size(), bmp.fileSize);

    EXPECT_TRUE(Near(PixelAt(file, bmp, 2, 2), {255, 255, 255}));  // background rectangle
    EXPECT_TRUE(Near(PixelAt(file, bmp, 29, 24), {220, 30, 30}));  // red rectangle (60, 50)
    EXPECT_TRUE(Near(PixelAt(file, bmp, 72, 24), {30, 60, 220}));  // blue ellipse (150, 50)
    EXPECT_TRUE(Near(PixelAt(file, bmp, 48, 41), {30, 180, 60}));  // green triangle (100, 85)
}

// The text line, black at (10, 5) units and 16 units high, is the only dark thing in the drawing
// (every shape has a bright channel): its pixels lie where the line is drawn, left of the ellipse
// (units 5..95 x 0..32, pixels 2..45 x 0..15), and nowhere else.
TEST(StaticMetafile, RendersText) {
    for (bool withText : {false, true}) {
        SCOPED_TRACE(withText ? "with text" : "without text");
        const auto file = Decode(fixtures::BuildStaticMetafile(
            fixtures::MakeMetafile(200, 100, withText), 8, 2540, 1270));
        const Bmp bmp = ReadBmpHeaders(file);
        ASSERT_EQ(bmp.width, 96);
        ASSERT_EQ(bmp.height, 48);
        ASSERT_EQ(file.size(), 54u + 96 * 3 * 48);
        int inLine = 0, elsewhere = 0;
        for (int y = 0; y < bmp.height; ++y) {
            for (int x = 0; x < bmp.width; ++x) {
                const Rgb c = PixelAt(file, bmp, x, y);
                if (std::max({c.red, c.green, c.blue}) >= 100)
                    continue;
                ++(x >= 2 && x <= 45 && y <= 15 ? inLine : elsewhere);
            }
        }
        EXPECT_EQ(elsewhere, 0);
        // Eight letters about 4 pixels high: 30 dark pixels on Debian 12's fonts.
        if (withText) {
            EXPECT_GE(inLine, 15);
        } else {
            EXPECT_EQ(inLine, 0);
        }
    }
}

TEST(StaticMetafile, RefusedMetafileIsFalse) {
    std::vector<std::uint8_t> garbage(64, 0x5A);
    Decode(fixtures::BuildStaticMetafile(garbage, 8, 2540, 1270), false);
}

// The picture header alone (8 bytes) leaves no metafile to render.
TEST(StaticMetafile, DataShorterThanPictureHeaderIsFalse) {
    Decode(fixtures::BuildStaticPresentation("METAFILEPICT", {8, 0, 1, 0}), false);
}

}  // namespace
}  // namespace pictrova::ole
