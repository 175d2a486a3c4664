// SPDX-License-Identifier: GPL-3.0-or-later
// 32-bit BMP files in the picture holder.
#include <gtest/gtest.h>

#include "imaging/picture_holder.h"
#include "picture_fixtures.h"
#include "test_paths.h"

namespace pictrova::imaging {
namespace {

using testing::Put16;
using testing::Put32;
using testing::Rgb;

// A 2 x 1 BMP file of 32-bit pixels (blue, green, red, fourth byte): red and blue. With
// `headerSize` 108 (V4) and compression 3 the masks follow, alpha in the top byte.
std::vector<std::uint8_t> Bmp32(std::uint32_t headerSize, std::uint32_t compression,
                                std::uint8_t fourth) {
    std::vector<std::uint8_t> f = {'B', 'M'};
    const std::uint32_t pixelsAt = 14 + headerSize;
    Put32(f, pixelsAt + 8);
    Put32(f, 0);
    Put32(f, pixelsAt);
    Put32(f, headerSize);
    Put32(f, 2);  // width
    Put32(f, 1);  // height
    Put16(f, 1);
    Put16(f, 32);
    Put32(f, compression);
    Put32(f, 8);
    for (int i = 0; i < 4; ++i)
        Put32(f, 0);  // resolution, colours
    if (headerSize >= 56) {
        for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u})
            Put32(f, mask);
    }
    f.resize(pixelsAt, 0);  // colour space and gamma of the V4 header
    for (std::uint8_t byte : {std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{255}, fourth,
                              std::uint8_t{255}, std::uint8_t{0}, std::uint8_t{0}, fourth}) {
        f.push_back(byte);
    }
    return f;
}

// The engine reads the unused fourth byte of a plain 32-bit file as alpha; zero, as writers
// leave it, made the picture fully transparent, and it came out white. Only a file with an
// alpha mask has alpha.
TEST(Regression, UnusedFourthBmpByteTakenAsAlpha) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> file;
        Rgb left, right;
    } cases[] = {
        {"plain, fourth byte zero", Bmp32(40, 0, 0), {255, 0, 0}, {0, 0, 255}},
        {"plain, fourth byte 128", Bmp32(40, 0, 128), {255, 0, 0}, {0, 0, 255}},
        {"alpha mask, opaque", Bmp32(108, 3, 255), {255, 0, 0}, {0, 0, 255}},
        {"alpha mask, transparent", Bmp32(108, 3, 0), {255, 255, 255}, {255, 255, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::WriteFile(dir / "temp.bmp", c.file);
        PictureHolder holder;
        ASSERT_NO_THROW(holder.LoadFromFile(dir / "temp.bmp"));
        EXPECT_EQ(testing::DibPixel(holder.Image(), 0, 0), c.left);
        EXPECT_EQ(testing::DibPixel(holder.Image(), 1, 0), c.right);
    }
}

}  // namespace
}  // namespace pictrova::imaging
