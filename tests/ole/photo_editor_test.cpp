// SPDX-License-Identifier: GPL-3.0-or-later
// Photo-editor pictures: the raw stream rebuilt into a BMP file.
#include "ole/photo_editor_picture.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "decoder_test_support.h"
#include "ole_builder/ole_fields.h"

namespace pictrova::ole {
namespace {

using namespace testing;
namespace fx = fixtures;

// Stream of a 3 x 2 picture: header, colour table triple k = (k, 255 - k, 5k), rows
// 822: row 0, row 1 (top first).
fx::Bytes Stream3x2(std::int16_t type, const fx::Bytes& rows) {
    fx::Bytes s = fx::MakePhotoEditorStream(type, 3, 2);
    s.resize(822);
    s.insert(s.end(), rows.begin(), rows.end());
    return s;
}

TEST(PhotoEditor, PalettedThreeByTwo) {
    fx::Bytes s = Stream3x2(2, {1, 2, 3, 4, 5, 6});
    ConvertPhotoEditorPicture(s);
    ASSERT_EQ(s.size(), 1086u);
    EXPECT_EQ(Get32(s, 2), 1086u);   // file size
    EXPECT_EQ(Get32(s, 10), 1078u);  // pixel offset
    EXPECT_EQ(Get32(s, 14), 40u);
    EXPECT_EQ(Get32(s, 18), 3u);
    EXPECT_EQ(Get32(s, 22), 2u);
    EXPECT_EQ(s[28], 8);          // bits
    EXPECT_EQ(Get32(s, 34), 8u);  // image size: stride 4 x 2
    for (int k : {0, 1, 100, 255}) {
        const fx::Rgb c = fx::PaletteColour(k);
        const std::size_t at = 54 + 4 * static_cast<std::size_t>(k);
        EXPECT_EQ(s[at], c.blue) << k;
        EXPECT_EQ(s[at + 1], c.green) << k;
        EXPECT_EQ(s[at + 2], c.red) << k;
        EXPECT_EQ(s[at + 3], 0) << k;
    }
    // The first stored row is the last row of the file; row padding is zero.
    EXPECT_EQ(fx::Bytes(s.begin() + 1078, s.end()), (fx::Bytes{4, 5, 6, 0, 1, 2, 3, 0}));
}

TEST(PhotoEditor, ColourThreeByTwoSwapsRedAndBlue) {
    fx::Bytes rows;
    for (std::uint8_t i = 0; i < 18; ++i)
        rows.push_back(static_cast<std::uint8_t>(i + 1));
    fx::Bytes s = Stream3x2(3, rows);
    ConvertPhotoEditorPicture(s);
    ASSERT_EQ(s.size(), 78u);
    EXPECT_EQ(Get32(s, 2), 78u);
    EXPECT_EQ(Get32(s, 10), 54u);
    EXPECT_EQ(s[28], 24);
    EXPECT_EQ(Get32(s, 34), 24u);  // stride 12 x 2
    // Bottom row (stored second): pixels 10 11 12, 13 14 15, 16 17 18 as blue, green, red.
    EXPECT_EQ(fx::Bytes(s.begin() + 54, s.begin() + 66),
              (fx::Bytes{12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0}));
    EXPECT_EQ(fx::Bytes(s.begin() + 66, s.end()), (fx::Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}));
}

TEST(PhotoEditor, GreyPictureGetsTheGreyRampWhateverItsTable) {
    fx::Bytes s = Stream3x2(1, {1, 2, 3, 4, 5, 6});
    std::fill(s.begin() + 18, s.begin() + 786, 0xAB);
    ConvertPhotoEditorPicture(s);
    for (std::size_t k = 0; k < 256; ++k) {
        const std::size_t at = 54 + 4 * k;
        ASSERT_EQ(s[at], k);
        ASSERT_EQ(s[at + 1], k);
        ASSERT_EQ(s[at + 2], k);
        ASSERT_EQ(s[at + 3], 0);
    }
}

struct Refused {
    std::int16_t type, width, height;
};

class PhotoEditorRefuses : public ::testing::TestWithParam<Refused> {};

TEST_P(PhotoEditorRefuses, PicturesWithoutPixels) {
    fx::Bytes s = fx::MakePhotoEditorStream(GetParam().type, 3, 2);
    Put16(s, 2, GetParam().width);
    Put16(s, 4, GetParam().height);
    EXPECT_THROW(ConvertPhotoEditorPicture(s), pictrova::Error);
}

INSTANTIATE_TEST_SUITE_P(Headers, PhotoEditorRefuses,
                         ::testing::Values(Refused{0, 3, 2}, Refused{4, 3, 2}, Refused{-1, 3, 2},
                                           Refused{2, 0, 2}, Refused{2, 3, 0}, Refused{3, -3, 2},
                                           Refused{3, 3, -2},
                                           // Larger than the stream holds.
                                           Refused{3, 3, 3}, Refused{2, 32767, 32767}));

TEST(PhotoEditor, StreamShorterThanItsHeaderIsRefused) {
    for (std::size_t length : {0, 5, 6, 785, 821, 827}) {
        fx::Bytes s = fx::MakePhotoEditorStream(2, 3, 2);
        s.resize(length);
        EXPECT_THROW(ConvertPhotoEditorPicture(s), pictrova::Error) << length;
    }
}

TEST(PhotoEditor, DecodedThroughItsObject) {
    const Decoded d = DecodeField(fx::BuildPhotoEditorObject(Stream3x2(3, fx::Bytes(18, 7))));
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(KindExtension(d.kind), "bmp");
    EXPECT_EQ(d.payload.size(), 78u);
}

}  // namespace
}  // namespace pictrova::ole
