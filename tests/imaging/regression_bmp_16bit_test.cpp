// SPDX-License-Identifier: GPL-3.0-or-later
// 16-bit BMP files in the picture holder.
#include <gtest/gtest.h>

#include "imaging/picture_holder.h"
#include "picture_fixtures.h"
#include "test_paths.h"

namespace pictrova::imaging {
namespace {

using testing::HighColourBmp;
using testing::Rgb;

// The engine's BMP reader scaled 5-bit channels by truncation: 1 came out 7 and 31 came out
// 247, one level below every other reader. Channels are widened by repeating their bits, as
// ImageMagick shows them (5 bits: 0, 8, 247, 255; 6 bits: 0, 4, 251, 255).
TEST(Regression, HighColourBmpChannelsWidenedOneLevelDark) {
    constexpr int kFive[4] = {0, 8, 247, 255};
    constexpr int kSix[4] = {0, 4, 251, 255};
    const struct {
        const char* name;
        HighColourBmp layout;
        const int* greenLevels;
    } cases[] = {
        {"5-5-5, no masks", {}, kFive},
        {"5-5-5, no masks, top row first", {.topFirst = true}, kFive},
        {"5-6-5 masks after the header",
         {.compression = 3, .masks = {0xF800, 0x07E0, 0x001F}},
         kSix},
        {"5-5-5 masks inside a V4 header", {.headerSize = 108, .compression = 3}, kFive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        testing::WriteFile(dir / "temp.bmp", testing::HighColourCornersBmp(c.layout));
        PictureHolder holder;
        ASSERT_NO_THROW(holder.LoadFromFile(dir / "temp.bmp"));
        ASSERT_EQ(holder.Image().dib_width(), 4);
        ASSERT_EQ(holder.Image().dib_height(), 3);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(testing::DibPixel(holder.Image(), x, 0), (Rgb{kFive[x], 0, 0}));
            EXPECT_EQ(testing::DibPixel(holder.Image(), x, 1), (Rgb{0, c.greenLevels[x], 0}));
            EXPECT_EQ(testing::DibPixel(holder.Image(), x, 2), (Rgb{0, 0, kFive[x]}));
        }
    }
}

}  // namespace
}  // namespace pictrova::imaging
